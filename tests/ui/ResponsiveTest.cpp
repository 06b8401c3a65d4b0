// Requests run off the user-interface thread: the windows keep painting, Cancel stops a request, and input
// made meanwhile is dropped instead of running afterwards.
#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "support/ScriptedServer.h"
#include "support/WindowDriver.h"
#include "ui/JobRunner.h"

using namespace ostrel;
using namespace std::chrono_literals;
using test::click;
using test::Reply;

namespace {

QWidget* topLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == name) return widget;
    qFatal("no window %s", name);
}

// Presses Esc on the progress dialog as soon as it shows, after running meanwhile (once the request is out).
void cancelWhenProgressShows(const test::ScriptedServer& server, std::size_t requests,
                             const std::function<void()>& meanwhile = {}) {
    QTimer::singleShot(0, [&server, requests, meanwhile] {
        QVERIFY(server.waitForRequests(requests, 10s));
        if (meanwhile) meanwhile();
        QWidget* dialog = nullptr;
        for (int attempt = 0; attempt < 500 && !dialog; ++attempt) {
            QTest::qWait(10);
            dialog = QApplication::activeModalWidget();
        }
        QVERIFY(dialog && dialog->objectName() == "progressDialog");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
}

}  // namespace

class ResponsiveTest : public QObject {
    Q_OBJECT

private slots:
    void cancelStopsAStalledRequestAndDropsInputMeanwhile() {
        QTemporaryDir scratch;
        test::ScriptedServer server;
        test::ScriptedToolkit toolkit;
        toolkit.resultFile = (scratch.path() + "/result.xml").toStdString();
        auto window = test::startMainWindow(toolkit, server.baseUrl());
        test::setField(window.get(), "a.xml");

        // A "Get document" that the server never answers; a click on "Delete document" while it waits.
        server.enqueue(Reply::silent(60s));
        const std::size_t messages = toolkit.boxes.size();
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);
        cancelWhenProgressShows(server, 1, [&] { click(window.get(), "Command5"); });
        click(window.get(), "Command3");
        ticker.stop();
        QVERIFY(ticks > 0);
        QCOMPARE(toolkit.boxes.size(), messages + 1);
        QVERIFY(toolkit.last().find("Cancelled") != std::string::npos);
        QTest::qWait(50);
        QCOMPARE(server.requests().size(), std::size_t(1));
        QVERIFY(!files::exists(toolkit.resultFile));

        // The next command works, on a new connection.
        server.enqueue(
            Reply::http(200, "OK", "<doc>fine</doc>", {{"Content-Type", "text/xml"}, {"ETag", "\"1\""}}));
        click(window.get(), "Command3");
        QVERIFY(files::exists(toolkit.resultFile));
        QCOMPARE(server.requests().back().requestLine, std::string("GET /a.xml HTTP/1.1"));

        // A cancelled store keeps the editor open with the user's text.
        click(window.get(), "Command10");
        QWidget* editor = topLevel("frmUpdate");
        auto* text = editor->findChild<QPlainTextEdit*>("rtfXMlDoc");
        text->setPlainText("<doc>typed</doc>");
        server.enqueue(Reply::silent(60s));
        cancelWhenProgressShows(server, server.requests().size() + 1);
        click(editor, "Command1");
        QCOMPARE(toolkit.boxes.size(), messages + 2);
        QVERIFY(toolkit.last().find("Cancelled") != std::string::npos);
        QVERIFY(editor->isVisible());
        QCOMPARE(text->toPlainText(), QString("<doc>typed</doc>"));
    }
    // Past a store or delete, a Cancel could not take it back: the dialog offers none, and Esc or the close
    // box leave the job to finish with its result.
    void aJobPastWhatCannotBeTakenBackOffersNoCancel() {
        QWidget window;
        ui::JobRunner runner(&window);
        std::atomic<bool> release = false;
        bool cancelOffered = true;
        bool stayedAfterEsc = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = nullptr;
            for (int attempt = 0; attempt < 500 && !dialog; ++attempt) {
                QTest::qWait(10);
                dialog = QApplication::activeModalWidget();
            }
            if (dialog) {
                cancelOffered = test::control(dialog, "progressCancel")->isVisible();
                QTest::keyClick(dialog, Qt::Key_Escape);
                dialog->close();
                QTest::qWait(20);
                stayedAfterEsc = dialog->isVisible();
            }
            release = true;
        });
        const int result = runner.run("Result", [&release](ui::JobProgress& job) {
            job.withholdCancel();
            for (int wait = 0; wait < 1000 && !release; ++wait) std::this_thread::sleep_for(10ms);
            return 7;
        });
        QCOMPARE(result, 7);
        QVERIFY(!cancelOffered);
        QVERIFY(stayedAfterEsc);
    }
};

QTEST_MAIN(ResponsiveTest)
#include "ResponsiveTest.moc"
