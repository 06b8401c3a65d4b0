// What only the windows do, driven as a user drives them: start-up and captions, browsing the seeded Apache
// tree, the editor and the locks, the viewer; and one fault of each family from the scripted server, which
// the guard reports before the next command works.
#include <QAccessible>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstring>

#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/ScriptedServer.h"
#include "support/WindowDriver.h"
#include "ui/QtToolkit.h"
#include "ui/frmBrowse.h"

using namespace ostrel;
using namespace ostrel::test;

class WindowsTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<DavServer> dav;
    ScriptedToolkit toolkit;

    std::unique_ptr<ui::frmMain> start(const std::string& uri) {
        toolkit = ScriptedToolkit();
        toolkit.resultFile = (scratch.path() + "/data/result.xml").toStdString();
        return startMainWindow(toolkit, uri);
    }
    static QPlainTextEdit* editorText() {
        return control<QPlainTextEdit>(topLevel("frmUpdate"), "rtfXMlDoc");
    }
    // The document element's row, below the XML declaration.
    static QString viewerRow() {
        const QAbstractItemModel* rows = control<QTreeView>(topLevel("frmBrowse"), "xmlTree")->model();
        return rows->index(rows->rowCount() - 1, 0).data().toString();
    }
    // The focusable controls of a window in tab order from the first, each unnamed one marked so.
    static QStringList tabOrder(QWidget* window, const char* first) {
        QStringList order;
        QWidget* widget = control(window, first);
        for (int guard = 0; guard < 100 && (order.isEmpty() || widget->objectName() != first); ++guard) {
            const bool named =
                !QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty();
            if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window))
                order << (named ? "" : "unnamed ") + widget->objectName();
            widget = widget->nextInFocusChain();
        }
        return order;
    }
    // A Depth-1 listing naming members by their hrefs; a trailing "/" marks a collection.
    static Reply listing(const std::vector<std::string>& hrefs) {
        std::string body = "<D:multistatus xmlns:D='DAV:'>";
        for (const std::string& href : hrefs) {
            body +=
                "<D:response><D:href>" + href + "</D:href><D:propstat><D:prop><D:resourcetype>" +
                (href.ends_with('/') ? "<D:collection/>" : "") +
                "</D:resourcetype></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>";
        }
        return Reply::http(207, "Multi-Status", body + "</D:multistatus>");
    }
    static void pressAlt(QWidget* window, Qt::Key key) {
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, key, Qt::AltModifier);
    }

private slots:
    void initTestCase() { dav = std::make_unique<DavServer>(DavServer::Options{.auth = "digest"}); }

    void startUpInOrderWithExactCaptions() {
        ui::nameApplication();
        // Qt appends a display name of the application's own to every window caption.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        toolkit = ScriptedToolkit();
        toolkit.inputs.push_back(std::nullopt);  // Cancel on the URI prompt
        ui::frmMain window(toolkit);
        std::size_t promptsBeforeLogon = 0;
        QString caption, masked;
        QList<QVariant> loggedOn;
        whenLogonShows([&](ui::frmLogon* dialog) {
            promptsBeforeLogon = toolkit.prompts.size();
            caption = dialog->windowTitle();
            QSignalSpy spy(dialog, &ui::frmLogon::LoggedOn);
            auto* password = control<QLineEdit>(dialog, "txtPassword");
            QTest::keyClicks(password, "pass word ");
            masked = password->displayText();
            QTest::keyClick(password, Qt::Key_Return);
            QTest::keyClick(dialog, Qt::Key_Escape);
            if (dialog->isVisible()) logOn(dialog, " demo ", "");
            loggedOn = spy.value(0);
        });
        window.Form_Load();
        QCOMPARE(promptsBeforeLogon, std::size_t(1));
        const ScriptedToolkit::Shown& prompt = toolkit.prompts[0];
        QCOMPARE(prompt.text + "|" + prompt.title + "|" + prompt.details,
                 std::string(
                     "URI Ostrel WebDAVServer?|URI WebDAV server|http://127.0.0.1:4000/ostrelwebdavserver"));
        QCOMPARE(masked, QString("**********"));
        QCOMPARE(loggedOn, QList<QVariant>({" demo ", "pass word "}));  // neither Enter nor Esc closed it
        QCOMPARE(QStringList({caption, window.windowTitle(), topLevel("frmUpdate")->windowTitle()}),
                 QStringList({"Logon", "Simple WebDAV client", "Update document"}));
        QVERIFY(!topLevel("frmUpdate")->isVisible());
        click(&window, "Command8");
        QCOMPARE(toolkit.last(), std::string("Error 0x80040000 (-2147221504)\r\nSource: FindProperty\r\n\r\n"
                                             "WebDAVURI not initialized yet"));
        QCOMPARE(toolkit.boxes.back().title, std::string("Ostrel WebDAV"));
    }

    void theEditorStoresWithTheLockTokenAndKeepsItsTextWhenRefused() {
        auto window = start(dav->url());
        const std::string doc = "xbrl/other/Document_3.xml";
        setField(window.get(), QString::fromStdString(doc));
        click(window.get(), "Command3");
        click(window.get(), "Command4");
        QWidget* editor = topLevel("frmUpdate");
        QVERIFY(editor->isVisible());
        QCOMPARE(editorText()->toPlainText(), QString::fromStdString(files::readAll(toolkit.resultFile)));
        pressAlt(window.get(), Qt::Key_L);
        QTRY_VERIFY(!toolkit.boxes.empty());
        QVERIFY2(toolkit.last().starts_with("Resource " + doc +
                                            " has been locked\r\nLock token is <opaquelocktoken:"),
                 toolkit.last().c_str());
        click(editor, "Command1");
        QCOMPARE(toolkit.last(), std::string("Document updated"));
        QVERIFY(!editor->isVisible());
        // "New document" forgets the token: asked to replace the document, the store is refused and the
        // text stays in the open editor.
        setField(window.get(), "xbrl/other");
        click(window.get(), "Command10");
        editorText()->setPlainText("<newdoc>precious</newdoc>");
        setField(window.get(), QString::fromStdString(doc));
        toolkit.choices = {0};
        click(editor, "Command1");
        QVERIFY2(toolkit.last().ends_with("Resource has been locked"), toolkit.last().c_str());
        QVERIFY(editor->isVisible());
        QCOMPARE(editorText()->toPlainText(), QString("<newdoc>precious</newdoc>"));
        // "OpaqueToken" recovers the token from the server, and the store goes through.
        click(window.get(), "Command7");
        toolkit.choices = {0};
        click(editor, "Command1");
        QCOMPARE(toolkit.last(), std::string("Document updated"));
        QVERIFY(!editor->isVisible());
        click(window.get(), "Command6");
        QCOMPARE(toolkit.last(), "Resource " + doc + " has been unlocked");
        click(window.get(), "Command7");
        QCOMPARE(toolkit.last(), std::string("Resource not locked"));
        click(window.get(), "Command3");
        QCOMPARE(viewerRow(), QString("<newdoc>precious</newdoc>"));
    }

    void oneViewerShowsEachResultAndHides() {
        auto window = start(dav->url());
        click(window.get(), "Command3");
        QWidget* viewer = topLevel("frmBrowse");
        QCOMPARE(viewer->windowTitle(), QString("Result"));
        QVERIFY(viewer->isVisible() && viewerRow().startsWith("<taxonomyConfiguration"));
        pressAlt(viewer, Qt::Key_H);
        QTRY_VERIFY(!viewer->isVisible());
        click(window.get(), "Command1");
        QVERIFY(viewer->isVisible() && viewerRow().startsWith("<D:multistatus"));
        QCOMPARE(topLevel("frmBrowse"), viewer);
    }

    void everyControlIsNamedInTabOrderAndEveryCommandHasItsOwnKeys() {
        auto window = start("http://127.0.0.1:9/dav");
        window->findChild<QMenu*>("menuView")->actions().value(0)->trigger();  // Result viewer
        QCOMPARE(tabOrder(window.get(), "txtWebDAVResource"),
                 QStringList({"txtWebDAVResource", "Command1", "Command2", "Command3", "Command4", "Command5",
                              "Command6", "Command7", "Command8", "lstResult", "Command9", "Command10",
                              "Command11", "Drive1", "Dir1"}));
        QCOMPARE(tabOrder(window->findChild<ui::frmLogon*>(), "txtUserId"),
                 QStringList({"txtUserId", "txtPassword", "Command1", "chkRememberPassword"}));
        QCOMPARE(tabOrder(topLevel("frmUpdate"), "rtfXMlDoc"),
                 QStringList({"rtfXMlDoc", "Command1", "Command2", "cmdXmlError", "cmdFormat", "cmdFind"}));
        QCOMPARE(tabOrder(topLevel("frmBrowse"), "xmlTree"), QStringList({"xmlTree", "Command1"}));
        for (const char* picture : {"Command6", "Command9"})
            QVERIFY(!control(window.get(), picture)->accessibleDescription().isEmpty());
        // Each command has keys of its own, none that the design's buttons or text editing use.
        using K = QKeySequence;
        QList<K> taken = {K(Qt::ALT | Qt::Key_L), K(Qt::ALT | Qt::Key_H)};
        for (const K::StandardKey key : {K::Delete, K::Cut, K::Copy, K::Paste, K::Undo, K::Redo, K::SelectAll,
                                         K::Deselect, K::Backspace})
            taken += K::keyBindings(key);
        for (int key = K::MoveToNextChar; key <= K::InsertLineSeparator; ++key)
            taken += K::keyBindings(static_cast<K::StandardKey>(key));
        for (const QAction* action : window->findChildren<QAction*>()) {
            if (action->shortcut().isEmpty()) continue;
            QVERIFY2(!taken.contains(action->shortcut()), qPrintable(action->text()));
            taken << action->shortcut();
        }
        const QList<QAction*> commands = window->findChild<QMenu*>("menuCommands")->actions();
        QCOMPARE(
            std::count_if(commands.begin(), commands.end(), [](auto* a) { return !a->shortcut().isEmpty(); }),
            11);
        setField(window.get(), "");
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keySequence(window.get(), QKeySequence(Qt::CTRL | Qt::Key_N));  // New document
        QCOMPARE(toolkit.last(), std::string("Select a collection first before continuing"));
    }

    void aDoubleClickListsACollectionAndShowsADocument() {
        ScriptedServer server;
        server.enqueue(listing({"/dav/c/", "/dav/c/sub/"}));
        server.enqueue(listing({"/dav/c/sub/", "/dav/c/sub/b.xml"}));
        server.enqueue(Reply::http(200, "OK", "<doc/>", {{"ETag", "\"1\""}}));
        auto window = start(server.baseUrl() + "/dav");
        setField(window.get(), "c");
        click(window.get(), "Command8");
        auto* list = control<QListWidget>(window.get(), "lstResult");
        for (const QString entry : {"sub", "b.xml"}) {
            const QRect row = list->visualItemRect(list->findItems(entry, Qt::MatchExactly).value(0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        }
        std::string requests;
        for (const RecordedRequest& request : server.requests()) requests += request.requestLine + "\n";
        QCOMPARE(requests,
                 "PROPFIND /dav/c HTTP/1.1\nPROPFIND /dav/c/sub HTTP/1.1\nGET /dav/c/sub/b.xml HTTP/1.1\n");
        QCOMPARE(viewerRow(), QString("<doc/>"));
    }

    void eachFaultFamilyIsReportedAndTheNextCommandWorks() {
        ScriptedServer server;
        server.enqueue(Reply::drop());
        server.enqueue(
            Reply::http(503, "Service Unavailable",
                        "<html><body><h1>Down</h1><p>Back at 10:00 &amp; later</p></body></html>"));
        server.enqueue(listing({"/dav/c/", "/dav/c/c/"}));
        server.enqueue(Reply::http(207, "Multi-Status", "this is not XML"));
        Reply broken = listing({"/dav/c/", "/dav/c/grown/"});
        broken.chunks[0].bytes.resize(broken.chunks[0].bytes.size() - std::strlen("</D:multistatus>"));
        broken.chunks.push_back({"</D:multistatux>", std::chrono::milliseconds(1500)});
        server.enqueue(broken);
        server.enqueue(Reply::http(200, "OK", "<doc/>", {{"ETag", "\"1\""}}));
        server.enqueue(Reply::http(201, "Created"));
        auto window = start(server.baseUrl() + "/dav");
        setField(window.get(), "c/a.xml");
        click(window.get(), "Command3");
        QVERIFY2(toolkit.last().find("\r\n\r\nThe server closed the connection without sending a reply") !=
                     std::string::npos,
                 toolkit.last().c_str());
        click(window.get(), "Command3");
        QCOMPARE(toolkit.last(), std::string("Error 0x80040000 (-2147221504)\r\nSource: ProcessDoc\r\n\r\n"
                                             "Service Unavailable"));
        QCOMPARE(toolkit.boxes.back().details, std::string("Down\r\nBack at 10:00 & later"));
        setField(window.get(), "c");
        click(window.get(), "Command8");
        click(window.get(), "Command8");
        QVERIFY2(toolkit.last().ends_with("\r\n\r\nFailed to load response"), toolkit.last().c_str());
        QCOMPARE(toolkit.boxes.back().details, std::string("this is not XML"));
        QCOMPARE(listed(window.get()), QStringList({"c"}));  // a failed listing keeps its entries
        // Also one that showed what had arrived before it broke.
        QStringList shownMeanwhile;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (shownMeanwhile.isEmpty()) shownMeanwhile = listed(window.get()).filter("grown");
        });
        watch.start(20);
        click(window.get(), "Command8");
        QCOMPARE(shownMeanwhile, QStringList({"grown"}));
        QCOMPARE(listed(window.get()), QStringList({"c"}));
        click(window.get(), "Command3");
        QVERIFY2(toolkit.last().ends_with("Source: GetDocument\r\n\r\nInvalid document c"),
                 toolkit.last().c_str());
        setField(window.get(), "c/a.xml");
        click(window.get(), "Command3");
        QCOMPARE(viewerRow(), QString("<doc/>"));
        click(window.get(), "Command11");
        QCOMPARE(toolkit.boxes.size(), std::size_t(5));
        QCOMPARE(server.requests().back().header("Destination"),
                 std::optional<std::string>("http://127.0.0.1/WebDAV%20Folder/"));
        for (const ScriptedToolkit::Shown& box : toolkit.boxes)
            QCOMPARE(box.title, std::string("Ostrel WebDAV"));
    }
    void aSmallMainWindowKeepsEveryControlWhole() {
        auto window = start(dav->url());
        window->resize(1, 1);
        QVERIFY(window->width() > 1 && window->height() > 1);
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisibleTo(window.get()) || child->objectName() == "menuBar") continue;
            QVERIFY2(window->rect().contains(child->geometry()), qPrintable(child->objectName()));
        }
    }

    // Help > Keyboard shortcuts (F1) lists the keys of every window in two columns, as the windows bind them.
    void theShortcutListHoldsEveryWindowsKeys() {
        auto window = start(dav->url());
        QStringList rows;
        whenModalShows<QWidget>([&rows](QWidget* dialog) {
            auto* table = control<QTableWidget>(dialog, "tblShortcuts");
            for (int row = 0; row < table->rowCount(); ++row) {
                const QTableWidgetItem* keys = table->item(row, 1);
                rows << table->item(row, 0)->text().trimmed() + (keys ? "|" + keys->text() : "");
            }
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        for (QAction* action : window->findChild<QMenu*>("menuHelp")->actions())
            if (action->shortcut() == QKeySequence(Qt::Key_F1)) action->trigger();
        const auto keysUnder = [&rows](const QString& heading) {
            QStringList keys;
            for (qsizetype row = rows.indexOf(heading) + 1;
                 row > 0 && row < rows.size() && rows[row].contains('|'); ++row)
                keys += rows[row].section('|', 1).split(", ");
            std::sort(keys.begin(), keys.end());
            return keys;
        };
        QVERIFY(rows.contains("Change server…|Ctrl+Shift+S") && rows.contains("Lock (its button)|Alt+L"));
        QVERIFY(rows.contains("Store (Update)|Ctrl+S") && rows.contains("Format|Ctrl+Shift+F"));
        QVERIFY(rows.contains("Copy the element as XML|Ctrl+C"));

        // The editor's and the viewer's own bindings, every one of them listed and nothing else.
        QStringList editorKeys;
        for (const QShortcut* shortcut : topLevel("frmUpdate")->findChildren<QShortcut*>())
            for (const QKeySequence& key : shortcut->keys())
                editorKeys << key.toString(QKeySequence::NativeText);
        std::sort(editorKeys.begin(), editorKeys.end());
        QCOMPARE(keysUnder("Editor (Update document)"), editorKeys);
        ui::frmBrowse viewer;
        QStringList viewerKeys = {
            QKeySequence::mnemonic(control<QAbstractButton>(&viewer, "Command1")->text())
                .toString(QKeySequence::NativeText)};
        for (const QAction* action : control(&viewer, "WebBrowser1")->actions())
            for (const QKeySequence& key : action->shortcuts())
                viewerKeys << key.toString(QKeySequence::NativeText);
        std::sort(viewerKeys.begin(), viewerKeys.end());
        QCOMPARE(keysUnder("Result viewer"), viewerKeys);
    }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
