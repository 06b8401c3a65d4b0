// The protocol log against Apache with Basic and Digest: exchanges reach the window from the thread that ran
// the request, hold what went over the wire, and no credential exists in them, in the saved log or in a curl
// command.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "client/WebDAVClient.h"
#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/ScriptedToolkit.h"
#include "ui/frmLog.h"

using namespace ostrel;

class LogTest : public QObject {
    Q_OBJECT

private slots:
    void credentialsAreHiddenEverywhere_data() {
        QTest::addColumn<QString>("auth");
        QTest::newRow("basic") << "basic";
        QTest::newRow("digest") << "digest";
    }

    // The password "config" is also a folder's name and a word in the documents: the credentials go, and
    // every name and text holding those letters stays as it went over the wire.
    void credentialsAreHiddenEverywhere() {
        QFETCH(QString, auth);
        const std::string password = "config";
        test::DavServer server({.auth = auth.toStdString(), .user = "logger", .password = password});
        test::ScriptedToolkit toolkit;
        ui::frmLog log(toolkit);
        WebDAVClient client;
        // Typed into the server URI as well.
        const std::string base = server.url().substr(std::string("http://").size());
        client.WebDAVURI("http://logger:" + password + "@" + base);
        client.UserId("logger");
        client.Password(password);
        client.SetExchangeObserver(&log);
        std::thread worker([&] {
            client.GetDocument("xbrl/config/Document_1.xml");
            client.UpdateDocument("xbrl/config/Mine.xml", "<note>config</note>");
        });
        worker.join();
        // The GET is challenged first; the PUT goes with the credentials the challenge asked for.
        QTRY_COMPARE(log.exchanges().size(), std::size_t(3));

        QTemporaryDir scratch;
        const QString saved = scratch.filePath("log.txt");
        files::writeFileAtomically(saved.toStdString(), "an older log, readable by everyone");
        log.saveTo(saved);
        struct stat info {};
        QCOMPARE(::stat(saved.toLocal8Bit().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        std::ifstream in(saved.toStdString(), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const char* secret : {"logger:config", "bG9nZ2VyOmNvbmZpZw", "response="})
            QVERIFY2(file.find(secret) == std::string::npos, secret);
        for (const char* kept : {"/xbrl/config/Document_1.xml", "urn:ostrel:config:taxonomy",
                                 "<note>config</note>", "Authorization: [hidden]\r\n", "http://[hidden]@"})
            QVERIFY2(file.find(kept) != std::string::npos, kept);

        const std::vector<Exchange> kept = log.exchanges();
        QCOMPARE(kept.front().status, 401);
        QCOMPARE(kept[1].url, "http://[hidden]@" + base + "/xbrl/config/Document_1.xml");
        QCOMPARE(kept[1].reason, std::string("OK"));
        QCOMPARE(kept[2].bodyOut, std::string("<note>config</note>"));
        QCOMPARE(kept[2].status, 201);
        for (const Exchange& exchange : kept) {
            QVERIFY(exchange.headersIn.starts_with("HTTP/1.1 " + std::to_string(exchange.status)));
            const std::string curl = ui::curlCommand(exchange);
            QVERIFY2(
                curl.find("--anyauth -u 'logger' 'http://" + base + "/xbrl/config/") != std::string::npos,
                curl.c_str());
            QVERIFY(curl.find("hidden") == std::string::npos);
        }
    }

    // Each row shows the exchange at its place, also after the log has overwritten older ones, whether
    // the list caught up once per exchange or once for many.
    void rowsFollowTheKeptExchanges() {
        test::ScriptedToolkit toolkit;
        ui::frmLog log(toolkit);
        auto* list = log.findChild<QTreeWidget*>("logList");
        auto* details = log.findChild<QPlainTextEdit*>("logDetails");
        const auto add = [&log](int from, int to) {
            for (int n = from; n < to; ++n) {
                Exchange exchange;
                exchange.method = "GET";
                exchange.url = "http://127.0.0.1/" + std::to_string(n);
                log.exchanged(exchange);
            }
        };
        const auto url = [list](int row) { return list->topLevelItem(row)->text(2).toStdString(); };
        add(0, 1005);
        QTRY_COMPARE(list->topLevelItemCount(), 1000);
        QCOMPARE(url(0), std::string("http://127.0.0.1/5"));
        for (int n = 1005; n < 1008; ++n) {
            add(n, n + 1);
            QTRY_COMPARE(url(999), "http://127.0.0.1/" + std::to_string(n));
        }
        QCOMPARE(list->topLevelItemCount(), 1000);
        QCOMPARE(url(0), std::string("http://127.0.0.1/8"));
        QCOMPARE(log.exchanges().front().url, url(0));
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(details->toPlainText().contains("GET http://127.0.0.1/8 "));
    }

    // A body is shown as it went over the wire, decoded for reading: an entity is never expanded (one that
    // grows a reply a thousandfold froze the window), the declaration keeps its encoding, and indenting moves
    // only white space between markup, when asked for.
    void bodiesShowAsTheyCame() {
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
        const std::string doctype = "<!DOCTYPE r [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>";
        const std::string body = declaration + "\n" + doctype + "\n<r>  <x>&b;</x>  <y>caf\xE9</y></r>";
        const std::string shown = declaration + "\n" + doctype + "\n<r>  <x>&b;</x>  <y>caf\xC3\xA9</y></r>";
        const std::string indented =
            declaration + "\n" + doctype + "\n<r>\n  <x>&b;</x>\n  <y>caf\xC3\xA9</y>\n</r>";
        struct Case {
            std::string contentType;
            std::string body;
            long long size;
            bool indent;
            std::string expected;
        };
        const std::vector<Case> cases = {
            {"text/xml", body, 0, false, shown},
            {"text/xml", body, 0, true, indented},
            // The label's charset comes before the declaration.
            {"text/xml; charset=utf-8", "<a>caf\xC3\xA9</a>", 0, false, "<a>caf\xC3\xA9</a>"},
            // A body cut at the size kept is no whole document: shown as it came, indented or not.
            {"text/xml", "<r>  <x>1</x>  <x>", 100, true,
             "<r>  <x>1</x>  <x>\r\n\xE2\x80\xA6 (82 more octets)"},
            {"text/html", "<p>a<br></p>", 0, true, "<p>a<br></p>"},
        };
        for (const Case& c : cases) {
            Exchange exchange;
            exchange.headersIn = "HTTP/1.1 200 OK\r\nContent-Type: " + c.contentType + "\r\n\r\n";
            exchange.bodyIn = c.body;
            exchange.bodyInSize = c.size ? c.size : static_cast<long long>(c.body.size());
            const std::string text = ui::exchangeText(exchange, c.indent);
            const std::string tail = "\r\n\r\n\r\n" + c.expected + "\r\n";
            QVERIFY2(text.ends_with(tail), text.c_str());
        }
    }

    // The filter looks at what the rows show unless bodies are asked for; a row it hides is no longer
    // selected, and nothing is offered for copying without a selected row. The details show a body indented
    // only while "Indent XML" is on.
    void filterAndDetailsFollowTheOptions() {
        test::ScriptedToolkit toolkit;
        ui::frmLog log(toolkit);
        auto* list = log.findChild<QTreeWidget*>("logList");
        auto* details = log.findChild<QPlainTextEdit*>("logDetails");
        auto* filter = log.findChild<QLineEdit*>("logFilter");
        auto* bodies = log.findChild<QCheckBox*>("logSearchBodies");
        auto* indent = log.findChild<QCheckBox*>("logIndentXml");
        auto* copy = log.findChild<QPushButton*>("logCopyCurl");
        for (const char* name : {"a.xml", "b.xml"}) {
            Exchange exchange;
            exchange.method = "GET";
            exchange.url = std::string("http://127.0.0.1/") + name;
            exchange.status = 200;
            exchange.headersIn = "HTTP/1.1 200 OK\r\n\r\n";
            exchange.bodyIn = std::string("<doc>  <part>") + name + "</part></doc>";
            exchange.bodyInSize = static_cast<long long>(exchange.bodyIn.size());
            log.exchanged(exchange);
        }
        QTRY_COMPARE(list->topLevelItemCount(), 2);
        const auto shown = [list] {
            QStringList urls;
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                if (!list->topLevelItem(row)->isHidden()) urls << list->topLevelItem(row)->text(2);
            }
            return urls;
        };
        QVERIFY(!bodies->isChecked() && !indent->isChecked() && !copy->isEnabled());

        list->setCurrentItem(list->topLevelItem(1));
        QVERIFY(copy->isEnabled());
        QVERIFY(details->toPlainText().endsWith("<doc>  <part>b.xml</part></doc>\n"));
        indent->setChecked(true);
        QVERIFY(details->toPlainText().endsWith("<doc>\n  <part>b.xml</part>\n</doc>\n"));

        filter->setText("part>a");
        QCOMPARE(shown(), QStringList());
        QVERIFY(!copy->isEnabled());
        QVERIFY(details->toPlainText().isEmpty());
        bodies->setChecked(true);
        QCOMPARE(shown(), QStringList{"http://127.0.0.1/a.xml"});
        filter->setText("B.XML");
        QCOMPARE(shown(), QStringList{"http://127.0.0.1/b.xml"});
        filter->setText("200");
        QCOMPARE(shown().size(), 2);
    }
};

QTEST_MAIN(LogTest)
#include "LogTest.moc"
