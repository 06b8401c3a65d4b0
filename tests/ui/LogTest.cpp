// The protocol log against Apache with Basic and Digest: exchanges reach the window from the thread that ran
// the request, hold what went over the wire, and no copy of the password exists in them, in the saved log
// or in a curl command.
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <iterator>
#include <thread>

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
        for (const Exchange& exchange : log.exchanges()) {
            const std::string curl = ui::curlCommand(exchange);
            QVERIFY(ui::exchangeText(exchange, true).find("s3cret") == std::string::npos);
            QVERIFY(curl.find("s3cret") == std::string::npos);
            QVERIFY(curl.find("-u 'logger'") != std::string::npos);
            QCOMPARE(exchange.url, url);
            QVERIFY(exchange.headersIn.starts_with("HTTP/1.1 " + std::to_string(exchange.status)));
        }
        QCOMPARE(log.exchanges().front().status, 401);

        const Exchange& put = log.exchanges()[1];
        QCOMPARE(put.method, std::string("PUT"));
        QCOMPARE(put.status, 201);
        QVERIFY(put.headersOut.find("\r\nAuthorization: [hidden]\r\n") != std::string::npos);
        QCOMPARE(put.bodyOut, std::string("<note>[hidden]</note>"));
        const Exchange& get = log.exchanges().back();
        QCOMPARE(get.method, std::string("GET"));
        QCOMPARE(get.reason, std::string("OK"));
        QCOMPARE(get.bodyIn, std::string("<note>[hidden]</note>"));
    }
};

QTEST_MAIN(LogTest)
#include "LogTest.moc"
