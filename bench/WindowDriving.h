#pragma once

// What the window benchmarks share: a toolkit that answers the start-up prompts without a person, and the
// logon dialog answered as soon as it shows.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Support.h"
#include "platform/Toolkit.h"
#include "ui/frmLogon.h"

namespace ostrel::bench {

// Confirms the server URI it is given and keeps every message box, which here only ever reports a failure.
// ShowResult asks for the result file's path first thing, which marks when it was called.
class BenchToolkit : public Toolkit {
public:
    std::string uri;
    std::string resultFile;
    std::vector<std::string> messages;
    Clock::time_point resultPathAsked;

    std::string InputBox(const std::string&, const std::string&, const std::string&) override { return uri; }
    void MsgBox(const std::string& prompt, const std::string&) override { messages.push_back(prompt); }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    int Choose(const std::string&, const std::vector<std::string>&, int defaultChoice, int,
               const std::string&) override {
        return defaultChoice;
    }
    std::string ResultFilePath() override {
        resultPathAsked = Clock::now();
        return resultFile;
    }
};

// Types the credentials into the logon dialog and presses Logon as soon as the dialog is up. Each look is a
// timer of its own, so start-up may run event loops of its own (asking the keyring) before the dialog shows.
inline void answerLogon(const std::string& user, const std::string& password, int attempts = 500) {
    QTimer::singleShot(attempts == 500 ? 0 : 10, [user, password, attempts] {
        if (auto* dialog = qobject_cast<ui::frmLogon*>(QApplication::activeModalWidget())) {
            dialog->findChild<QLineEdit*>("txtUserId")->setText(QString::fromStdString(user));
            dialog->findChild<QLineEdit*>("txtPassword")->setText(QString::fromStdString(password));
            QTest::mouseClick(dialog->findChild<QPushButton*>("Command1"), Qt::LeftButton);
            return;
        }
        if (attempts > 0) return answerLogon(user, password, attempts - 1);
        std::fprintf(stderr, "the logon dialog did not show\n");
        QCoreApplication::exit(1);
    });
}

// The servers, user ids and pins a benchmark uses stay out of the user's own settings: a folder of the
// run's own, removed with the returned object.
inline std::unique_ptr<QTemporaryDir> settingsOfTheirOwn() {
    auto folder = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", folder->path().toLocal8Bit());
    return folder;
}

}  // namespace ostrel::bench
