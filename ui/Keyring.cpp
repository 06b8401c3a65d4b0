#include "ui/Keyring.h"

#include <qt6keychain/keychain.h>
#include <QEventLoop>
#include <QTimer>

#include <memory>

#include "platform/Error.h"

namespace ostrel::ui {

namespace {

constexpr const char* kService = "ostrel-webdav";
constexpr const char* kSource = "Keyring";
// A secret service that is starting answers within moments; one that hangs must not hang the program.
constexpr int kTimeoutMs = 10000;

struct Outcome {
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QString text = "The desktop's secret service did not answer";
    QString password;
};

QString keyOf(const QString& server, const QString& userId) {
    return userId + " on " + server;
}

// Runs a job to its end, or until the time is up; a job still running then goes on and deletes itself.
Outcome finish(QKeychain::Job* job) {
    auto outcome = std::make_shared<Outcome>();
    // Never a plain-text file in place of the secret service.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [outcome, &loop](QKeychain::Job* done) {
        outcome->finished = true;
        outcome->error = done->error();
        outcome->text = done->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done))
            outcome->password = read->textData();
        loop.quit();
    });
    QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome->finished) loop.exec();
    // Nothing touches the job from here on: it may have deleted itself already.
    return *outcome;
}

Outcome read(const QString& key) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(key);
    return finish(job);
}

}  // namespace

QString Keyring::unavailableReason() {
    if (!reason_) {
        const Outcome probe = read("availability check");
        const bool answers = probe.error == QKeychain::NoError || probe.error == QKeychain::EntryNotFound;
        reason_ = answers ? QString() : "No password keyring is available: " + probe.text;
    }
    return *reason_;
}

std::optional<QString> Keyring::password(const QString& server, const QString& userId) {
    if (!unavailableReason().isEmpty()) return std::nullopt;
    const Outcome outcome = read(keyOf(server, userId));
    if (outcome.error != QKeychain::NoError) return std::nullopt;
    return outcome.password;
}

void Keyring::store(const QString& server, const QString& userId, const QString& password) {
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(keyOf(server, userId));
    job->setTextData(password);
    const Outcome outcome = finish(job);
    if (outcome.error != QKeychain::NoError)
        throw Error(errors::kKeyring, kSource,
                    "The password could not be remembered: " + outcome.text.toStdString());
}

void Keyring::remove(const QString& server, const QString& userId) {
    if (!unavailableReason().isEmpty()) return;
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(keyOf(server, userId));
    const Outcome outcome = finish(job);
    if (outcome.error != QKeychain::NoError && outcome.error != QKeychain::EntryNotFound)
        throw Error(errors::kKeyring, kSource,
                    "The password could not be forgotten: " + outcome.text.toStdString());
}

}  // namespace ostrel::ui
