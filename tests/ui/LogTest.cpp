// The protocol log against Apache with Basic and Digest: exchanges reach the window from the thread that ran
// the request, hold what went over the wire, and no copy of the password exists in them, in the saved log
// or in a curl command.
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTest>

#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "client/WebDAVClient.h"
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

    void credentialsAreHiddenEverywhere() {
        QFETCH(QString, auth);
        // Percent-encoded in the URL, escaped as "&amp;" in XML text.
        const std::string password = "s3cret &Pw";
        test::DavServer server(
            {.auth = auth.toStdString(), .user = "logger", .password = password, .seed = false});
        test::ScriptedToolkit toolkit;
        ui::frmLog log(toolkit);
        WebDAVClient client;
        client.WebDAVURI(server.url());
        client.UserId("logger");
        client.Password(password);
        client.SetExchangeObserver(&log);
        const std::string resource = "note " + password + ".xml";
        std::thread worker([&] {
            client.UpdateDocument(resource, "<note>s3cret &amp;Pw</note>");
            client.GetDocument(resource);
        });
        worker.join();
        // The PUT is challenged first; the GET goes with the credentials the challenge asked for.
        QTRY_COMPARE(log.exchanges().size(), std::size_t(3));

        QTemporaryDir scratch;
        const QString saved = scratch.filePath("log.txt");
        log.saveTo(saved);
        std::ifstream in(saved.toStdString(), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        QVERIFY(file.find("[hidden]") != std::string::npos);
        QVERIFY(file.find("s3cret") == std::string::npos);

        const std::string url = server.url() + "/note%20[hidden].xml";
        const std::vector<Exchange> kept = log.exchanges();
        for (const Exchange& exchange : kept) {
            const std::string curl = ui::curlCommand(exchange);
            QVERIFY(ui::exchangeText(exchange, true).find("s3cret") == std::string::npos);
            QVERIFY(curl.find("s3cret") == std::string::npos);
            QVERIFY(curl.find("-u 'logger'") != std::string::npos);
            QCOMPARE(exchange.url, url);
            QVERIFY(exchange.headersIn.starts_with("HTTP/1.1 " + std::to_string(exchange.status)));
        }
        QCOMPARE(kept.front().status, 401);

        const Exchange& put = kept[1];
        QCOMPARE(put.method, std::string("PUT"));
        QCOMPARE(put.status, 201);
        QVERIFY(put.headersOut.find("\r\nAuthorization: [hidden]\r\n") != std::string::npos);
        QCOMPARE(put.bodyOut, std::string("<note>[hidden]</note>"));
        const Exchange& get = kept.back();
        QCOMPARE(get.method, std::string("GET"));
        QCOMPARE(get.reason, std::string("OK"));
        QCOMPARE(get.bodyIn, std::string("<note>[hidden]</note>"));
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
