// The four windows driven as a user drives them, against a real Apache server.
#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

#include "client/WebDAVClient.h"
#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/ScriptedServer.h"
#include "support/ScriptedToolkit.h"
#include "support/WindowDriver.h"
#include "ui/XmlView.h"
#include "ui/frmBrowse.h"
#include "ui/frmLogon.h"
#include "ui/frmMain.h"
#include "ui/frmUpdate.h"

using namespace ostrel;
using namespace ostrel::ui;

namespace {

using test::click;
using test::control;
using test::logOn;
using test::whenLogonShows;

QString rowText(const QAbstractItemModel* model, int row) {
    return model->index(row, 0).data().toString();
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::DavServer> dav;
    QTemporaryDir scratch;
    test::ScriptedToolkit toolkit;

    std::unique_ptr<frmMain> start(const QString& user = "demo", const QString& password = "demo") {
        toolkit = test::ScriptedToolkit();
        toolkit.resultFile = (scratch.path() + "/data/result.xml").toStdString();
        return test::startMainWindow(toolkit, dav->url(), user, password);
    }

    void setField(frmMain& window, const QString& text) { test::setField(&window, text); }
    QString field(frmMain& window) { return control<QLineEdit>(&window, "txtWebDAVResource")->text(); }
    QStringList listed(frmMain& window) { return test::listed(&window); }
    void pickEntry(frmMain& window, const QString& entry) {
        auto* list = control<QListWidget>(&window, "lstResult");
        const auto found = list->findItems(entry, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable("not listed: " + entry));
        list->setCurrentItem(found.first());
    }
    QString editorText(frmMain& window) {
        return control<QPlainTextEdit>(window.editor(), "rtfXMlDoc")->toPlainText();
    }
    WebDAVClient independentClient() {
        WebDAVClient client;
        client.WebDAVURI(dav->url());
        client.UserId("demo");
        client.Password("demo");
        return client;
    }

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        dav = std::make_unique<test::DavServer>(test::DavServer::Options{.auth = "digest"});
    }

    void startUpStoresWhatTheUserTyped() {
        auto window = start(" demo ", "pass word ");
        QCOMPARE(toolkit.prompts.size(), size_t(1));
        QCOMPARE(toolkit.prompts[0].prompt, std::string("URI Ostrel WebDAVServer?"));
        QCOMPARE(toolkit.prompts[0].title, std::string("URI WebDAV server"));
        QCOMPARE(toolkit.prompts[0].defaultText, std::string("http://127.0.0.1:4000/ostrelwebdavserver"));
        QCOMPARE(window->client().WebDAVURI(), dav->url());
        QCOMPARE(window->client().UserId(), std::string(" demo "));
        QCOMPARE(window->client().Password(), std::string("pass word "));
        QVERIFY(window->editor() && !window->editor()->isVisible());
        QVERIFY(window->currentLockToken().empty());
        QVERIFY(window->currentLastPicked().empty());
        QCOMPARE(field(*window), QString("xbrl/config/Document_1.xml"));
        QCOMPARE(window->windowTitle(), QString("Simple WebDAV client"));
        QVERIFY(window->isVisible());
    }

    void startUpCancelledAndClosedByItsBox() {
        toolkit = test::ScriptedToolkit();
        toolkit.inputs.push_back(std::nullopt);
        frmMain window(toolkit);
        bool enterDidNothing = false;
        whenLogonShows([&enterDidNothing](frmLogon* dialog) {
            QTest::keyClicks(control<QLineEdit>(dialog, "txtUserId"), "someone");
            QTest::keyClick(control<QLineEdit>(dialog, "txtUserId"), Qt::Key_Return);
            QTest::keyClick(dialog, Qt::Key_Escape);
            enterDidNothing = dialog->isVisible();
            dialog->close();  // the close box
        });
        window.Form_Load();
        QVERIFY(enterDidNothing);
        QCOMPARE(window.client().WebDAVURI(), std::string());
        QCOMPARE(window.client().UserId(), std::string());
        QCOMPARE(window.client().Password(), std::string());
        QVERIFY(window.editor() && !window.editor()->isVisible());
        // The first request then shows the client's own error and the program goes on.
        click(&window, "Command8");
        QVERIFY(toolkit.lastMessage().find("WebDAVURI not initialized yet") != std::string::npos);
        QCOMPARE(toolkit.titles.back(), std::string("Ostrel WebDAV"));
    }

    void browsingTheSeededTree() {
        auto window = start();
        // The root listing follows the server's order and stops at the administrative area.
        setField(*window, "");
        click(window.get(), "Command8");
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());
        XmlDocument reply = independentClient().FindPropertyByName("", "displayname");
        reply.setProperty("SelectionNamespaces", "xmlns:d='DAV:'");
        QStringList expected;
        const XmlNodeList names = reply.selectNodes("//d:displayname");
        for (std::size_t i = 1;
             i < names.length() && names.item(i).text().find("administration") == std::string::npos; ++i) {
            expected << QString::fromStdString(names.item(i).text());
        }
        QCOMPARE(listed(*window), expected);
        QVERIFY2(expected.contains("xbrl"), "the seeded server lists xbrl before administration");
        QVERIFY(!listed(*window).contains("administration"));

        // The walk: root entry, sub-collection, document, and a second document.
        pickEntry(*window, "xbrl");
        QCOMPARE(field(*window), QString("xbrl"));
        click(window.get(), "Command8");
        QStringList subCollections = listed(*window);
        subCollections.sort();
        QCOMPARE(subCollections, QStringList({"config", "other"}));
        QVERIFY(window->currentLastPicked().empty());
        pickEntry(*window, "config");
        QCOMPARE(field(*window), QString("xbrl/config"));
        click(window.get(), "Command8");
        QVERIFY(listed(*window).contains("Document_1.xml"));
        QVERIFY(listed(*window).contains("Document_2.xml"));
        pickEntry(*window, "Document_1.xml");
        QCOMPARE(field(*window), QString("xbrl/config/Document_1.xml"));
        pickEntry(*window, "Document_2.xml");
        QCOMPARE(field(*window), QString("xbrl/config/Document_2.xml"));

        // A failed listing keeps the old entries and says why.
        const QStringList before = listed(*window);
        const std::size_t messagesBefore = toolkit.messages.size();
        window->client().WebDAVURI("");
        click(window.get(), "Command8");
        QCOMPARE(listed(*window), before);
        QCOMPARE(toolkit.messages.size(), messagesBefore + 1);
        QVERIFY(toolkit.lastMessage().find("0x80040000 (-2147221504)") != std::string::npos);
        QVERIFY(toolkit.lastMessage().find("Source: FindProperty") != std::string::npos);
    }

    void documentCommands() {
        auto window = start();
        setField(*window, "xbrl/config/Document_1.xml");
        click(window.get(), "Command3");
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());
        QVERIFY(window->viewer() && window->viewer()->isVisible());
        const std::string saved = files::readAll(toolkit.resultFile);
        QVERIFY(saved.find("<?xml") == 0);

        click(window.get(), "Command4");
        QVERIFY(window->editor()->isVisible());
        QCOMPARE(editorText(*window), QString::fromStdString(saved));

        // Store from the editor: the text really lands on the server.
        setField(*window, "xbrl/other/edited.xml");
        auto* editor = control<QPlainTextEdit>(window->editor(), "rtfXMlDoc");
        editor->setPlainText("<edited>\n  <by>user</by>\n</edited>");
        click(window->editor(), "Command1");
        QCOMPARE(toolkit.lastMessage(), std::string("Document updated"));
        QVERIFY(!window->editor()->isVisible());
        QCOMPARE(independentClient().GetDocument("xbrl/other/edited.xml").text(), std::string("user"));

        // New document: blanks only are refused; a collection path opens the template and forgets the token.
        setField(*window, "   ");
        click(window.get(), "Command10");
        QCOMPARE(toolkit.lastMessage(), std::string("Select a collection first before continuing"));
        QVERIFY(!window->editor()->isVisible());
        setField(*window, "xbrl/config");
        click(window.get(), "Command10");
        QVERIFY(window->editor()->isVisible());
        QCOMPARE(window->editor()->text(), QString("<?xml version=\"1.0\"?>\r\n<newdoc></newdoc>"));
        QCOMPARE(window->editor()->text().size(), 40);

        // A store that fails keeps the editor open with the text, and the program goes on.
        editor->setPlainText("<newdoc>precious</newdoc>");
        const std::size_t before = toolkit.messages.size();
        click(window->editor(), "Command1");  // the field still names a collection
        QCOMPARE(toolkit.messages.size(), before + 1);
        QVERIFY(toolkit.lastMessage().find("Invalid document xbrl/config") != std::string::npos);
        QVERIFY(window->editor()->isVisible());
        QCOMPARE(editorText(*window), QString("<newdoc>precious</newdoc>"));
        setField(*window, "xbrl/config/New document.xml");
        click(window->editor(), "Command1");
        QCOMPARE(toolkit.lastMessage(), std::string("Document updated"));
        QCOMPARE(independentClient().GetDocument("xbrl/config/New document.xml").text(),
                 std::string("precious"));

        // Delete names the field as typed.
        setField(*window, "xbrl/config/New document.xml");
        click(window.get(), "Command5");
        QCOMPARE(toolkit.lastMessage(), std::string("Resource xbrl/config/New document.xml deleted"));
        click(window.get(), "Command5");
        QVERIFY(toolkit.lastMessage().find("Source: ProcessDoc") != std::string::npos);
        QVERIFY(toolkit.lastMessage().find("Not Found") != std::string::npos);

        // Get on a collection fails before any request.
        setField(*window, "xbrl/config");
        click(window.get(), "Command3");
        QVERIFY(toolkit.lastMessage().find("Source: GetDocument") != std::string::npos);
    }

    void copyGoesToTheFixedDestination() {
        {
            test::ScriptedServer scripted;
            scripted.enqueue(test::Reply::http(201, "Created"));
            toolkit = test::ScriptedToolkit();
            toolkit.inputs.push_back(scripted.baseUrl() + "/dav");
            frmMain window(toolkit);
            whenLogonShows([](frmLogon* dialog) { dialog->close(); });
            window.Form_Load();
            setField(window, "xbrl/config/Document_1.xml");
            click(&window, "Command11");
            QVERIFY(toolkit.messages.empty());
            const auto requests = scripted.requests();
            QCOMPARE(requests.size(), size_t(1));
            QCOMPARE(requests[0].requestLine, std::string("COPY /dav/xbrl/config/Document_1.xml HTTP/1.1"));
            QCOMPARE(requests[0].header("Destination"),
                     std::optional<std::string>("http://127.0.0.1/WebDAV%20Folder/"));
            QCOMPARE(requests[0].header("Overwrite"), std::optional<std::string>("F"));
        }
        // Apache resolves the destination on itself (it ignores the port): the first copy lands, the second
        // finds a document where the URL expects a collection.
        auto window = start();
        setField(*window, "xbrl/config/Document_2.xml");
        click(window.get(), "Command11");
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());
        click(window.get(), "Command11");
        QVERIFY(toolkit.lastMessage().find("Copy failed: 400") != std::string::npos);
        click(window.get(), "Command3");
        QVERIFY(window->viewer()->isVisible());
    }

    void propertyAndLockCommands() {
        auto window = start();
        const std::string doc = "xbrl/other/Document_3.xml";
        setField(*window, QString::fromStdString(doc));
        click(window.get(), "Command1");
        auto* view = window->viewer()->findChild<XmlView*>("WebBrowser1");
        QVERIFY(view && view->showsTree());
        QVERIFY(rowText(view->model(), 0).contains("multistatus"));
        click(window.get(), "Command2");
        QVERIFY(files::readAll(toolkit.resultFile).find("getcontentlength") != std::string::npos);
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());

        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_L, Qt::AltModifier);  // "&Lock"
        QTRY_VERIFY(!window->client().opaquetoken().empty());
        const std::string token = window->client().opaquetoken();
        QVERIFY(token.starts_with("<opaquelocktoken:"));
        QCOMPARE(toolkit.lastMessage(), "Resource " + doc + " has been locked\r\nLock token is " + token);
        QCOMPARE(window->currentLockToken(), token);

        // Store while locked: with the kept token it succeeds; "New document" forgets it and the store fails.
        click(window.get(), "Command3");
        click(window.get(), "Command4");
        click(window->editor(), "Command1");
        QCOMPARE(toolkit.lastMessage(), std::string("Document updated"));
        setField(*window, "xbrl/other");
        click(window.get(), "Command10");
        QVERIFY(window->currentLockToken().empty());
        setField(*window, QString::fromStdString(doc));
        click(window->editor(), "Command1");
        QVERIFY(toolkit.lastMessage().find("Resource has been locked") != std::string::npos);
        QVERIFY(window->editor()->isVisible());

        // OpaqueToken recovers the lock from the server; Unlock then releases it.
        click(window.get(), "Command7");
        QCOMPARE(window->currentLockToken(), token);
        click(window.get(), "Command6");
        QCOMPARE(toolkit.lastMessage(), "Resource " + doc + " has been unlocked");
        QVERIFY(window->currentLockToken().empty());
        click(window.get(), "Command7");
        QCOMPARE(toolkit.lastMessage(), std::string("Resource not locked"));
        click(window.get(), "Command6");
        QVERIFY(toolkit.lastMessage().find("Failed to unlock resource") != std::string::npos);

        // A lock taken by another client is picked up and released from this window.
        WebDAVClient other = independentClient();
        other.LockResource("xbrl/config/Document_2.xml");
        setField(*window, "xbrl/config/Document_2.xml");
        click(window.get(), "Command7");
        QCOMPARE(window->currentLockToken(), other.opaquetoken());
        click(window.get(), "Command6");
        QCOMPARE(toolkit.lastMessage(), std::string("Resource xbrl/config/Document_2.xml has been unlocked"));
        QVERIFY_THROWS_EXCEPTION(Error, other.UnlockResource("xbrl/config/Document_2.xml"));
    }

    void viewerShowsEachNewResultAndHides() {
        auto window = start();
        setField(*window, "xbrl/config/Document_1.xml");
        click(window.get(), "Command3");
        frmBrowse* viewer = window->viewer();
        auto* view = viewer->findChild<XmlView*>("WebBrowser1");
        const QString first = rowText(view->model(), 0);
        setField(*window, "administration");
        click(window.get(), "Command1");
        QCOMPARE(window->viewer(), viewer);
        QVERIFY(rowText(view->model(), 0) != first);
        QVERIFY(rowText(view->model(), 0).contains("multistatus"));

        QApplication::setActiveWindow(viewer);
        QVERIFY(QTest::qWaitForWindowActive(viewer));
        QTest::keyClick(viewer, Qt::Key_H, Qt::AltModifier);
        QTRY_VERIFY(!viewer->isVisible());  // a mnemonic presses its button after a short animation
        click(window.get(), "Command2");
        QVERIFY(viewer->isVisible());
        click(viewer, "Command1");
        QVERIFY(!viewer->isVisible());
    }

    void folderLabelAndClosing() {
        auto window = start();
        auto* label = control<QLabel>(window.get(), "lblPath");
        QVERIFY(label->text().isEmpty());
        auto* dirs = window->findChild<QListWidget*>("Dir1");
        const QString folder = scratch.path();
        QMetaObject::invokeMethod(dirs, "pathRequested", Q_ARG(QString, folder));
        QCOMPARE(label->text(), "file://" + folder);
        QMetaObject::invokeMethod(dirs, "pathRequested", Q_ARG(QString, folder + "/no such folder"));
        QCOMPARE(label->text(), "file://" + folder);
        QVERIFY(toolkit.lastMessage().find("cannot be read") != std::string::npos);

        // Unsaved editor text is not thrown away without asking.
        setField(*window, "xbrl/config");
        click(window.get(), "Command10");
        QTest::keyClicks(control<QPlainTextEdit>(window->editor(), "rtfXMlDoc"), "<draft/>");
        toolkit.answerYes = false;
        QVERIFY(!window->close());
        QCOMPARE(toolkit.questions.size(), size_t(1));
        QVERIFY(window->isVisible());
        toolkit.answerYes = true;
        QVERIFY(window->close());
        QVERIFY(!window->editor()->isVisible());
    }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
