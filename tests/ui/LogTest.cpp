// The protocol log against Apache with Basic and Digest: exchanges reach the window from the thread that ran
// the request, hold what went over the wire, and no credential exists in them, in the saved log or in a curl
// command.
#include <QPlainTextEdit>
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
};

QTEST_MAIN(LogTest)
#include "LogTest.moc"
