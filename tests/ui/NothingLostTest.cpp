// What keeps the user's text and the server's documents safe, as only the windows show it: where the
// keyboard focus is when the editor opens, the questions before text or documents are given up, and the
// draft that a killed run leaves for the next one.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "platform/Files.h"
#include "support/ScriptedServer.h"
#include "support/WindowDriver.h"

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString kTemplate = "<?xml version=\"1.0\"?>\n<newdoc></newdoc>";

QPlainTextEdit* editorText() {
    return control<QPlainTextEdit>(topLevel("frmUpdate"), "rtfXMlDoc");
}

// Replaces the editor's text as an edit of the user's, which the editor counts as not stored.
void edit(const QString& text) {
    editorText()->selectAll();
    editorText()->insertPlainText(text);
}

// Starts the main window on a server with its drafts in the given state folder.
std::unique_ptr<ui::frmMain> startWithState(ScriptedToolkit& toolkit, const QString& state) {
    qputenv("XDG_STATE_HOME", state.toLocal8Bit());
    toolkit.inputs.push_back("http://127.0.0.1:9/dav");
    auto window = std::make_unique<ui::frmMain>(toolkit);
    whenLogonShows([](ui::frmLogon* dialog) { logOn(dialog, "demo", "demo"); });
    window->Form_Load();
    window->show();
    return window;
}

// Types as a user does: into whatever holds the keyboard focus of the active window.
void typeInto(QWidget* window, const QString& keys) {
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClicks(QApplication::focusWidget(), keys);
}

Reply tagged(int status, const std::string& etag, const std::string& body = {}) {
    return Reply::http(status, "R", body, {{"ETag", etag}, {"Content-Type", "text/xml"}});
}

std::string methods(const ScriptedServer& server, std::size_t from) {
    std::string out;
    const std::vector<RecordedRequest> requests = server.requests();
    for (std::size_t i = from; i < requests.size(); ++i)
        out += requests[i].requestLine.substr(0, requests[i].requestLine.find(' ')) + " ";
    return out;
}

// The child process of the draft test: opens the editor, types, and waits to be killed once its draft is on
// disk.
int editUntilKilled(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ScriptedToolkit toolkit;
    auto window = startWithState(toolkit, argv[2]);
    setField(window.get(), "xbrl/other/draft.xml");
    click(window.get(), "Command10");
    edit("<doc>typed before the crash</doc>");
    const QDir folder(QString(argv[2]) + "/ostrel-webdav");
    for (int wait = 0; wait < 500 && folder.entryList({"*.draft"}).isEmpty(); ++wait) QTest::qWait(10);
    std::printf("drafted\n");
    std::fflush(stdout);
    for (int wait = 0; wait < 600; ++wait) QTest::qWait(100);
    return 1;
}

}  // namespace

class NothingLostTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    ScriptedToolkit toolkit;

    std::unique_ptr<ui::frmMain> start(const std::string& uri) {
        toolkit = ScriptedToolkit();
        toolkit.resultFile = (scratch.path() + "/result.xml").toStdString();
        return startMainWindow(toolkit, uri);
    }

private slots:
    void typingAfterEveryOpeningGoesIntoTheTextAndCtrlSStores() {
        ScriptedServer server;
        server.enqueue(tagged(200, "\"1\"", "<doc/>"));
        server.enqueue(tagged(200, "\"1\""));  // the check before the store: unchanged
        server.enqueue(tagged(204, "\"2\""));
        auto window = start(server.baseUrl());
        setField(window.get(), "a.xml");
        click(window.get(), "Command3");
        click(window.get(), "Command4");
        QWidget* editor = topLevel("frmUpdate");
        click(editor, "Command1");
        QCOMPARE(toolkit.last(), std::string("Document updated"));
        const std::size_t sent = server.requests().size();

        // Modify document after Update, New document after Cancel: a space goes into the text.
        click(window.get(), "Command4");
        typeInto(editor, " ");
        QVERIFY(editorText()->toPlainText().startsWith(" <?xml"));
        click(editor, "Command2");
        toolkit.choices = {1};  // discard the space
        click(window.get(), "Command10");
        typeInto(editor, " ");
        QCOMPARE(editorText()->toPlainText(), " " + kTemplate);
        QVERIFY(editor->isVisible());
        QCOMPARE(server.requests().size(), sent);

        // Ctrl+S stores; the untouched template reaches the server as its 40 characters.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        server.enqueue(Reply::http(404, "Not Found"));
        server.enqueue(tagged(201, "\"3\""));
        setField(window.get(), "b.xml");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(methods(server, sent), std::string("HEAD PUT "));
        QCOMPARE(server.requests().back().body, std::string("<?xml version=\"1.0\"?>\r\n<newdoc></newdoc>"));
        QVERIFY(!editor->isVisible());
    }

    // Each command that would replace unstored text asks first; Cancel leaves everything as it was.
    void unstoredTextIsAskedAboutBeforeItIsReplaced() {
        ScriptedServer server;
        auto window = start(server.baseUrl());
        files::writeFileAtomically(toolkit.resultFile, "<result/>");
        const std::string question =
            "The editor holds changes that have not been stored on the server.\r\nStore them first, or "
            "discard "
            "them?";
        struct Row {
            const char* command;
            std::function<void()> run;
        };
        const std::vector<Row> rows = {
            {"Modify document", [&] { click(window.get(), "Command4"); }},
            {"New document", [&] { click(window.get(), "Command10"); }},
            {"Change server", [&] { window->findChild<QMenu*>("menuFile")->actions().at(0)->trigger(); }},
            {"Log on again", [&] { window->findChild<QMenu*>("menuFile")->actions().at(1)->trigger(); }},
        };
        click(window.get(), "Command10");
        edit("<doc>mine</doc>");
        for (const Row& row : rows) {
            const std::size_t prompts = toolkit.prompts.size();
            toolkit.choices = {2};
            row.run();
            QVERIFY2(toolkit.questions.back().text == question, row.command);
            QCOMPARE(toolkit.questions.back().details, std::string("Store/Discard/Cancel"));
            QCOMPARE(editorText()->toPlainText(), QString("<doc>mine</doc>"));
            QCOMPARE(toolkit.prompts.size(), prompts);
        }
        // View > Editor shows it again with the text; Discard lets Modify document go on.
        topLevel("frmUpdate")->hide();
        window->findChild<QMenu*>("menuView")->actions().at(1)->trigger();
        QVERIFY(topLevel("frmUpdate")->isVisible());
        toolkit.choices = {1};
        click(window.get(), "Command4");
        QCOMPARE(editorText()->toPlainText(), QString("<result/>"));
        QCOMPARE(server.requests().size(), std::size_t(0));
    }

    // Every question a command asks before it acts, each answered No: nothing is sent.
    void commandsOnEverythingAskFirst() {
        ScriptedServer server;
        server.enqueue(tagged(200, "\"1\"", "<doc/>"));
        server.enqueue(tagged(200, "\"9\""));  // another user stored meanwhile
        auto window = start(server.baseUrl());
        setField(window.get(), "a.xml");
        click(window.get(), "Command3");
        click(window.get(), "Command4");
        click(topLevel("frmUpdate"), "Command1");
        QCOMPARE(toolkit.questions.back().text,
                 std::string("The document a.xml changed on the server since you fetched it.\r\n"
                             "Replace it with the editor's text, or keep editing?"));
        QCOMPARE(toolkit.questions.back().details, std::string("Replace it/Keep editing"));
        QVERIFY(topLevel("frmUpdate")->isVisible());
        const auto whole = [](const std::string& command) {
            return "The resource field is empty: " + command +
                   " acts on the whole server, every collection and document on it.\r\nGo on?";
        };
        const std::vector<std::tuple<QString, const char*, std::string>> rows = {
            {" a b.xml", "Command5", "Delete the document  a b.xml from the server?"},
            {"", "Command9", whole("Lock")},
            {" ", "Command11", whole("Copy document")},
            {"", "Command1", whole("Property names")},
            {"", "Command2", whole("All properties")},
            {"", "Command7", whole("OpaqueToken")},
        };
        const std::size_t sent = server.requests().size();
        for (const auto& [field, command, question] : rows) {
            setField(window.get(), field);
            toolkit.answers = {false};
            click(window.get(), command);
            QCOMPARE(toolkit.questions.back().text, question);
        }
        QCOMPARE(server.requests().size(), sent);
    }

    // A run killed while editing leaves its draft, readable by the user alone; the next run offers it.
    void aKilledRunsDraftIsOfferedAtTheNextStart() {
        QTemporaryDir state;
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--edit-until-killed", state.path()});
        QVERIFY(child.waitForReadyRead(20000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("drafted"));
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        const QDir folder(state.path() + "/ostrel-webdav");
        const QStringList drafts = folder.entryList({"*.draft"});
        QCOMPARE(drafts.size(), 1);
        struct stat info {};
        QCOMPARE(::stat(folder.filePath(drafts.front()).toLocal8Bit().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        toolkit = ScriptedToolkit();
        toolkit.choices = {0};
        auto window = startWithState(toolkit, state.path());
        QVERIFY(
            toolkit.questions.at(0).text.starts_with("An earlier run of the program ended while the editor "
                                                     "held text that was not stored on the server "
                                                     "(for xbrl/other/draft.xml)."));
        QCOMPARE(editorText()->toPlainText(), QString("<doc>typed before the crash</doc>"));
        QVERIFY(topLevel("frmUpdate")->isVisible());
        QCOMPARE(control<QLineEdit>(window.get(), "txtWebDAVResource")->text(),
                 QString("xbrl/other/draft.xml"));
        QVERIFY(!folder.exists(drafts.front()));
        // Discarding the restored text leaves nothing behind.
        toolkit.choices = {1};
        click(window.get(), "Command10");
        QCOMPARE(folder.entryList({"*.draft"}), QStringList());
    }
};

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string(argv[1]) == "--edit-until-killed") return editUntilKilled(argc, argv);
    QApplication app(argc, argv);
    NothingLostTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NothingLostTest.moc"
