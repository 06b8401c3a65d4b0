// Whatever the server or the network does, the client says what happened, keeps running and keeps what the
// user typed. Each fault is driven through the client and through a window command, and each is followed
// by a command that must work.
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <functional>

#include "client/Replies.h"
#include "client/WebDAVClient.h"
#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/Scenario.h"
#include "support/ScriptedServer.h"
#include "support/WindowDriver.h"
#include "ui/XmlView.h"
#include "ui/frmBrowse.h"
#include "ui/frmUpdate.h"

using namespace ostrel;
using namespace std::chrono_literals;
using test::click;
using test::control;
using test::errorOf;
using test::Reply;
using test::ScriptedServer;

namespace {

const std::string kGoodDocument = "<?xml version='1.0'?><doc><p>fine</p></doc>";
const std::string kMultistatus =
    "<?xml version='1.0'?><D:multistatus xmlns:D='DAV:'>"
    "<D:response><D:href>/dav/c/</D:href><D:propstat><D:prop><D:displayname>/c</D:displayname></D:prop>"
    "</D:propstat></D:response><D:response><D:href>/dav/c/a.xml</D:href><D:propstat><D:prop>"
    "<D:displayname>a.xml</D:displayname></D:prop></D:propstat></D:response></D:multistatus>";

std::string billionLaughs() {
    std::string text = "<?xml version='1.0'?><!DOCTYPE l [<!ENTITY l0 'ha'>";
    for (int i = 1; i <= 10; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " '";
        for (int k = 0; k < 10; ++k) text += "&l" + std::to_string(i - 1) + ";";
        text += "'>";
    }
    return text + "]><D:multistatus xmlns:D='DAV:'><D:displayname>&l10;</D:displayname></D:multistatus>";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;
    test::ScriptedToolkit toolkit;

    std::unique_ptr<ui::frmMain> windowOn(const std::string& uri) {
        toolkit = test::ScriptedToolkit();
        toolkit.resultFile = (scratch.path() + "/result.xml").toStdString();
        auto window = test::startMainWindow(toolkit, uri);
        window->client().SetTimeouts({.connect = 2000ms, .stall = 1s});
        return window;
    }

    static WebDAVClient clientOn(const std::string& uri) {
        WebDAVClient client;
        client.WebDAVURI(uri);
        client.SetTimeouts({.connect = 2000ms, .stall = 1s});
        return client;
    }

    // One fault on a document request, through the client and through "Get document": the error must say
    // `expected`, and the next request must work.
    void documentFault(const std::function<Reply()>& fault, const std::string& expected) {
        ScriptedServer server;
        server.enqueue(fault());
        server.enqueue(Reply::http(200, "OK", kGoodDocument, {{"Content-Type", "text/xml"}}));
        WebDAVClient client = clientOn(server.baseUrl() + "/dav");
        const std::string error = errorOf([&] { client.GetDocument("c/a.xml"); });
        QVERIFY2(contains(error, expected), error.c_str());
        QCOMPARE(client.GetDocument("c/a.xml").text(), std::string("fine"));

        server.enqueue(fault());
        server.enqueue(Reply::http(200, "OK", kGoodDocument, {{"Content-Type", "text/xml"}}));
        auto window = windowOn(server.baseUrl() + "/dav");
        test::setField(window.get(), "c/a.xml");
        click(window.get(), "Command3");
        QCOMPARE(toolkit.messages.size(), size_t(1));
        QVERIFY2(contains(toolkit.lastMessage(), expected), toolkit.lastMessage().c_str());
        QVERIFY(!window->viewer());
        click(window.get(), "Command3");
        QCOMPARE(toolkit.messages.size(), size_t(1));
        QVERIFY(window->viewer() && window->viewer()->isVisible());
    }

    // One fault on a listing, through the client and through "Get resources": the old entries stay.
    void listingFault(const std::function<Reply()>& fault, const std::string& expected) {
        ScriptedServer server;
        server.enqueue(fault());
        server.enqueue(Reply::http(207, "Multi-Status", kMultistatus));
        WebDAVClient client = clientOn(server.baseUrl() + "/dav");
        const std::string error = errorOf([&] { client.FindPropertyByName("c", "displayname"); });
        QVERIFY2(contains(error, expected), error.c_str());
        QVERIFY(client.FindPropertyByName("c", "displayname").hasChildNodes());

        server.enqueue(Reply::http(207, "Multi-Status", kMultistatus));
        server.enqueue(fault());
        auto window = windowOn(server.baseUrl() + "/dav");
        test::setField(window.get(), "c");
        click(window.get(), "Command8");
        QCOMPARE(test::listed(window.get()), QStringList({"c"}));
        click(window.get(), "Command8");
        QVERIFY2(contains(toolkit.lastMessage(), expected), toolkit.lastMessage().c_str());
        QCOMPARE(test::listed(window.get()), QStringList({"c"}));
    }

private slots:
    void transportFaults() {
        documentFault(
            [] { return Reply::raw("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n<doc><p>cut", true); },
            "closed before the whole reply had arrived");
        documentFault([] { return Reply::silent(20s); }, "did not answer in time");
        documentFault([] { return Reply::drop(); }, "closed the connection without sending a reply");
        listingFault(
            [] { return Reply::raw("HTTP/1.1 207 Multi-Status\r\nContent-Length: 9000\r\n\r\n<D:m", true); },
            "closed before the whole reply had arrived");
    }

    void connectionRefusedThenWorking() {
        std::string deadUri;
        {
            ScriptedServer gone;
            deadUri = gone.baseUrl() + "/dav";
        }
        WebDAVClient client = clientOn(deadUri);
        const std::string error = errorOf([&] { client.GetDocument("a.xml"); });
        QVERIFY2(contains(error, "Could not connect to the server") && contains(error, "Connection refused"),
                 error.c_str());
        auto window = windowOn(deadUri);
        click(window.get(), "Command3");
        QVERIFY2(contains(toolkit.lastMessage(), "Connection refused"), toolkit.lastMessage().c_str());
        QVERIFY(contains(toolkit.lastMessage(), "Error 0x800C0007 (-2146697209)"));

        ScriptedServer server;
        server.enqueue(Reply::http(200, "OK", kGoodDocument));
        window->client().WebDAVURI(server.baseUrl() + "/dav");
        click(window.get(), "Command3");
        QVERIFY(window->viewer() && window->viewer()->isVisible());
    }

    void serverErrorsAndBrokenBodies() {
        const std::string page = "<html><body><h1>Down for maintenance</h1><br></body></html>";
        documentFault(
            [&] {
                return Reply::http(503, "Service Unavailable", page, {{"Content-Type", "text/html"}});
            },
            "Service Unavailable\r\n" + page);
        listingFault([&] { return Reply::http(500, "Internal Server Error", page); },
                     "Failed to load response\r\n" + page);
        listingFault([] { return Reply::http(200, "OK", "this is not XML at all"); },
                     "Failed to load response\r\nthis is not XML at all");
        const auto start = std::chrono::steady_clock::now();
        listingFault([] { return Reply::http(207, "Multi-Status", billionLaughs()); },
                     "Failed to load response");
        QVERIFY(std::chrono::steady_clock::now() - start < 10s);
    }

    void invalidUtf8AndExternalEntitiesAreNeverTrusted() {
        ScriptedServer server;
        const std::string names =
            "<?xml version='1.0'?><!DOCTYPE m [<!ENTITY secret SYSTEM 'file:///etc/passwd'>]>"
            "<D:multistatus xmlns:D='DAV:'><D:displayname>/root</D:displayname>"
            "<D:displayname>/bad\xFF\xFEname</D:displayname>"
            "<D:displayname>/&secret;</D:displayname></D:multistatus>";
        server.enqueue(Reply::http(207, "Multi-Status", names));
        server.enqueue(Reply::http(200, "OK", "<?xml version='1.0' encoding='UTF-8'?><doc>\xC3\x28</doc>"));
        server.enqueue(Reply::http(207, "Multi-Status", names));
        WebDAVClient client = clientOn(server.baseUrl() + "/dav");
        XmlDocument listing = client.FindPropertyByName("c", "displayname");
        QCOMPARE(replies::displayNames(listing),
                 std::vector<std::string>({"/root", "/bad\xEF\xBF\xBD\xEF\xBF\xBDname", "/"}));
        QVERIFY(!contains(listing.xml(), "root:x:"));
        QVERIFY(contains(errorOf([&] { client.GetDocument("c/a.xml"); }), "not well-formed XML (line 1"));
        auto window = windowOn(server.baseUrl() + "/dav");
        test::setField(window.get(), "c");
        click(window.get(), "Command8");
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());
        QCOMPARE(test::listed(window.get()),
                 QStringList({"root", QString::fromUtf8("bad\uFFFD\uFFFDname"), ""}));

        // A document that is not valid UTF-8 is not XML: "Get document" says why and shows nothing.
        server.enqueue(Reply::http(200, "OK", "<?xml version='1.0' encoding='UTF-8'?><doc>\xC3\x28</doc>"));
        server.enqueue(
            Reply::http(200, "OK", "<!DOCTYPE d [<!ENTITY s SYSTEM 'file:///etc/passwd'>]><d>&s;</d>"));
        test::setField(window.get(), "c/a.xml");
        click(window.get(), "Command3");
        QVERIFY2(contains(toolkit.lastMessage(), "not well-formed XML"), toolkit.lastMessage().c_str());
        QVERIFY(!window->viewer());
        click(window.get(), "Command3");
        const std::string saved = files::readAll(toolkit.resultFile);
        QVERIFY2(contains(saved, "&s;") && !contains(saved, "root:"), saved.c_str());
        QVERIFY(window->viewer()->findChild<ui::XmlView*>("WebBrowser1")->showsTree());
    }

    void aHundredMegabyteReplyIsShown() {
        std::string big = "<?xml version='1.0'?><book>";
        const std::string paragraph = "<p>" + std::string(1000, 'w') + "</p>";
        while (big.size() < (100u << 20)) big += paragraph;
        big += "</book>";
        ScriptedServer server;
        server.enqueue(Reply::http(200, "OK", big, {{"Content-Type", "text/xml"}}));
        server.enqueue(Reply::http(200, "OK", kGoodDocument));
        server.enqueue(Reply::http(200, "OK", big, {{"Content-Type", "text/xml"}}));
        server.enqueue(Reply::http(200, "OK", kGoodDocument));
        big.clear();
        big.shrink_to_fit();
        {
            WebDAVClient client = clientOn(server.baseUrl() + "/dav");
            client.SetTimeouts({.connect = 2000ms, .stall = 30s});
            QCOMPARE(client.GetDocument("big.xml").documentElement().childNodes().length(),
                     std::size_t((100u << 20) / 1007 + 1));
            QCOMPARE(client.GetDocument("next.xml").text(), std::string("fine"));
        }
        auto window = windowOn(server.baseUrl() + "/dav");
        window->client().SetTimeouts({.connect = 2000ms, .stall = 30s});
        test::setField(window.get(), "big.xml");
        const auto start = std::chrono::steady_clock::now();
        click(window.get(), "Command3");
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());
        auto* view = window->viewer()->findChild<ui::XmlView*>("WebBrowser1");
        QVERIFY(view->showsTree());
        QVERIFY(std::chrono::steady_clock::now() - start < 60s);
        QVERIFY(files::readAll(toolkit.resultFile).size() > (100u << 20));
        click(window.get(), "Command3");
        QVERIFY(view->model()->index(0, 0).data().toString().contains("doc"));
    }

    void aRestartedOrStoppedServer() {
        test::DavServer dav;
        WebDAVClient client = clientOn(dav.url());
        client.GetDocument("xbrl/config/Document_1.xml");
        dav.stop();
        dav.start();
        QVERIFY(client.GetDocument("xbrl/config/Document_1.xml").hasChildNodes());
        client.LockResource("xbrl/config/Document_1.xml");
        dav.stop();
        QVERIFY(contains(errorOf([&] { client.UnlockResource("xbrl/config/Document_1.xml"); }),
                         "Connection refused"));
        dav.start();
        client.UnlockResource("xbrl/config/Document_1.xml");
        QCOMPARE(client.ConnectionsOpened(), 3L);

        auto window = windowOn(dav.url());
        test::setField(window.get(), "xbrl/config/Document_2.xml");
        click(window.get(), "Command3");
        dav.stop();
        dav.start();
        click(window.get(), "Command3");  // the kept-alive connection died with the old server
        QVERIFY2(toolkit.messages.empty(), toolkit.lastMessage().c_str());

        click(window.get(), "Command9");
        const std::string token = window->currentLockToken();
        QVERIFY(!token.empty());
        dav.stop();
        click(window.get(), "Command6");
        QVERIFY2(contains(toolkit.lastMessage(), "Could not connect"), toolkit.lastMessage().c_str());
        QCOMPARE(window->currentLockToken(), token);
        dav.start();
        click(window.get(), "Command6");
        QCOMPARE(toolkit.lastMessage(), std::string("Resource xbrl/config/Document_2.xml has been unlocked"));
    }

    void failedStoresKeepTheEditorAndItsText() {
        ScriptedServer server;
        server.enqueue(Reply::http(423, "Locked"));
        server.enqueue(Reply::http(507, "Insufficient Storage", "<error>disk full</error>"));
        server.enqueue(Reply::http(201, "Created"));
        auto window = windowOn(server.baseUrl() + "/dav");
        test::setField(window.get(), "c");
        click(window.get(), "Command10");
        auto* text = control<QPlainTextEdit>(window->editor(), "rtfXMlDoc");
        text->selectAll();
        QTest::keyClicks(text, "<work>an hour of typing</work>");
        test::setField(window.get(), "c/work.xml");
        for (const char* expected :
             {"Resource has been locked", "Insufficient storage\r\n<error>disk full</error>"}) {
            click(window->editor(), "Command1");
            QVERIFY2(contains(toolkit.lastMessage(), expected), toolkit.lastMessage().c_str());
            QVERIFY(window->editor()->isVisible());
            QCOMPARE(text->toPlainText(), QString("<work>an hour of typing</work>"));
        }
        const std::string uri = window->client().WebDAVURI();
        window->client().WebDAVURI("http://127.0.0.1:1/dav");  // the server is gone
        click(window->editor(), "Command1");
        QVERIFY(contains(toolkit.lastMessage(), "Could not connect"));
        QVERIFY(window->editor()->isVisible() && window->editor()->hasUnsavedChanges());
        window->client().WebDAVURI(uri);
        click(window->editor(), "Command1");
        QCOMPARE(toolkit.lastMessage(), std::string("Document updated"));
        QVERIFY(!window->editor()->isVisible() && !window->editor()->hasUnsavedChanges());
        QCOMPARE(server.requests().back().body, std::string("<work>an hour of typing</work>"));
    }

    void anUnwritableResultFolderIsReported() {
        ScriptedServer server;
        server.enqueue(Reply::http(200, "OK", kGoodDocument));
        server.enqueue(Reply::http(200, "OK", kGoodDocument));
        auto window = windowOn(server.baseUrl() + "/dav");
        const std::string blocker = (scratch.path() + "/a-file").toStdString();
        files::writeFileAtomically(blocker, "not a folder");
        toolkit.resultFile = blocker + "/result.xml";
        test::setField(window.get(), "c/a.xml");
        click(window.get(), "Command3");
        QVERIFY2(contains(toolkit.lastMessage(), "Source: Files") && contains(toolkit.lastMessage(), blocker),
                 toolkit.lastMessage().c_str());
        QVERIFY(!window->viewer());
        toolkit.resultFile = (scratch.path() + "/result.xml").toStdString();
        click(window.get(), "Command3");
        QVERIFY(window->viewer() && window->viewer()->isVisible());
    }

    void badInputFromTheUser() {
        ScriptedServer server;
        for (int i = 0; i < 3; ++i) server.enqueue(Reply::http(204, "No Content"));
        auto window = windowOn(server.baseUrl() + "/dav");
        test::setField(window.get(), "c/a\r\nX-Injected: yes.xml");
        click(window.get(), "Command5");
        test::setField(window.get(), "c/50% off #1?.xml");
        click(window.get(), "Command5");
        test::setField(window.get(), "c/caf\xC3\xA9 menu.xml");
        click(window.get(), "Command5");
        const auto requests = server.requests();
        QCOMPARE(requests.size(), size_t(3));
        QCOMPARE(requests[0].target, std::string("/dav/c/a%0D%0AX-Injected:%20yes.xml"));
        QVERIFY(!requests[0].header("X-Injected"));
        QCOMPARE(requests[1].target, std::string("/dav/c/50%25%20off%20%231%3F.xml"));
        QCOMPARE(requests[2].target, std::string("/dav/c/caf%C3%A9%20menu.xml"));
        QCOMPARE(toolkit.lastMessage(), std::string("Resource c/caf\xC3\xA9 menu.xml deleted"));

        for (const std::string& uri :
             {std::string(), std::string("127.0.0.1:4000/dav"), std::string("http//x")}) {
            auto broken = windowOn(uri);
            click(broken.get(), "Command3");
            QVERIFY2(contains(toolkit.lastMessage(), "is not an absolute http:// or https:// URL"),
                     toolkit.lastMessage().c_str());
        }
    }
};

QTEST_MAIN(FaultsTest)
#include "FaultsTest.moc"
