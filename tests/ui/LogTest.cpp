// The protocol log against Apache with Basic and Digest: until the window is first opened requests are kept
// as summaries, then exchanges hold what went over the wire, reach the window from the thread that ran the
// request, and no credential exists in them or in the saved log.
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
#include "platform/ExchangeLog.h"
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
        ExchangeLog exchangeLog(ExchangeLog::kKept);
        ui::frmLog log(toolkit, exchangeLog);
        // Typed into the server URI as well.
        const std::string base = server.url().substr(std::string("http://").size());
        WebDAVClient client;
        client.WebDAVURI("http://LOGGER:" + password + "@" + base);
        client.UserId("logger");
        client.Password(password);
        client.SetExchangeObserver(&exchangeLog);
        client.GetDocument("xbrl/config/Document_1.xml");
        log.show();
        // Spelt another way, the server is asked without credentials first again.
        client.WebDAVURI("http://logger:" + password + "@" + base);
        std::thread worker([&] {
            client.GetDocument("xbrl/config/Document_1.xml");
            client.UpdateDocument("xbrl/config/Mine.xml", "<note>config</note>");
        });
        worker.join();
        // A summary of the first GET, its challenge included; then the GET is challenged first, and the PUT
        // goes with the credentials the challenge asked for. The rows kept before the window opened show.
        auto* list = log.findChild<QTreeWidget*>("logList");
        QTRY_COMPARE(list->topLevelItemCount(), 4);
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(!log.findChild<QPushButton*>("logCopyCurl")->isEnabled());

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

        const std::vector<Exchange> kept = exchangeLog.kept();
        QVERIFY(kept[0].summary && kept[0].status == 200 && kept[0].headersIn.empty());
        QCOMPARE(kept[0].url, kept[2].url);
        QCOMPARE(kept[0].bodyInSize, kept[2].bodyInSize);
        QVERIFY(kept[0].octetsIn > kept[0].bodyInSize);
        QCOMPARE(kept[1].status, 401);
        QCOMPARE(kept[2].url, "http://[hidden]@" + base + "/xbrl/config/Document_1.xml");
        QCOMPARE(kept[2].reason, std::string("OK"));
        QCOMPARE(kept[3].bodyOut, std::string("<note>config</note>"));
        QCOMPARE(kept[3].status, 201);
        for (const Exchange& exchange : std::vector<Exchange>(kept.begin() + 1, kept.end()))
            QVERIFY(exchange.headersIn.starts_with("HTTP/1.1 " + std::to_string(exchange.status)));
    }

    // Each row shows the exchange at its place, also after the log has overwritten older ones, whether
    // the list caught up once per exchange or once for many.
    void rowsFollowTheKeptExchanges() {
        test::ScriptedToolkit toolkit;
        ExchangeLog exchangeLog(ExchangeLog::kKept);
        ui::frmLog log(toolkit, exchangeLog);
        log.show();
        auto* list = log.findChild<QTreeWidget*>("logList");
        auto* details = log.findChild<QPlainTextEdit*>("logDetails");
        const auto add = [&exchangeLog](int from, int to) {
            for (int n = from; n < to; ++n) {
                Exchange exchange{.method = "GET", .url = "http://127.0.0.1/" + std::to_string(n)};
                exchangeLog.exchanged(exchange);
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
        QCOMPARE(exchangeLog.kept().front().url, url(0));
        list->setCurrentItem(list->topLevelItem(0));
        QVERIFY(details->toPlainText().contains("GET http://127.0.0.1/8 "));
    }

    // The filter looks at what the rows show unless bodies are asked for; a row it hides is no longer
    // selected, and nothing is offered for copying without a selected row. The details show a body indented
    // only while "Indent XML" is on.
    void filterAndDetailsFollowTheOptions() {
        test::ScriptedToolkit toolkit;
        ExchangeLog exchangeLog(ExchangeLog::kKept);
        ui::frmLog log(toolkit, exchangeLog);
        log.show();
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
            exchangeLog.exchanged(exchange);
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
