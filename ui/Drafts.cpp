#include "ui/Drafts.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <sys/stat.h>

#include "platform/Error.h"
#include "platform/Files.h"

namespace ostrel::ui {

namespace {

constexpr const char* kDraft = ".draft";
constexpr const char* kLock = ".lock";

QByteArray encode(const Draft& draft) {
    const QJsonObject object{
        {"text", draft.text},
        {"target", QString::fromStdString(draft.target)},
        {"origin", QString::fromStdString(draft.origin.resource)},
        {"etag", QString::fromStdString(draft.origin.etag)},
        {"fetched", draft.origin.fetched},
        {"lockToken", QString::fromStdString(draft.lockToken)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Draft> decode(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject o = document.object();
    if (!o.value("text").isString()) return std::nullopt;
    return Draft{o.value("text").toString(),
                 o.value("target").toString().toStdString(),
                 {o.value("origin").toString().toStdString(), o.value("etag").toString().toStdString(),
                  o.value("fetched").toBool()},
                 o.value("lockToken").toString().toStdString()};
}

// A lock that only a living run holds: a run that died leaves its lock to the next one at once.
std::unique_ptr<QLockFile> lockAt(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    return lock;
}

}  // namespace

QString Drafts::defaultFolder() {
    // Qt 6.4 names no state location; the XDG base directory rules do.
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = QDir::isAbsolutePath(state) ? state : QDir::homePath() + "/.local/state";
    return base + "/ostrel-webdav";
}

Drafts::Drafts(QString folder) : folder_(std::move(folder)) {
    files::makeFolders(folder_.toStdString());
    ::chmod(folder_.toLocal8Bit().constData(), 0700);
    lock_ = lockAt(pathOf(QCoreApplication::applicationPid(), kLock));
    if (!lock_->tryLock(0)) {
        throw Error(errors::kFileBase, "Drafts",
                    "Cannot lock the draft of this run in " + folder_.toStdString());
    }
}

Drafts::~Drafts() = default;

QString Drafts::pathOf(qint64 pid, const char* suffix) const {
    return folder_ + "/editor-" + QString::number(pid) + suffix;
}

void Drafts::save(const Draft& draft) {
    const QByteArray bytes = encode(draft);
    files::writeFileAtomically(pathOf(QCoreApplication::applicationPid(), kDraft).toStdString(),
                               std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                               files::Visibility::Private);
}

void Drafts::remove() {
    files::remove(pathOf(QCoreApplication::applicationPid(), kDraft).toStdString());
}

std::optional<Draft> Drafts::takeLeftOver() {
    const QString own = pathOf(QCoreApplication::applicationPid(), kDraft);
    const QStringList names =
        QDir(folder_).entryList({QString("editor-*") + kDraft}, QDir::Files, QDir::Time);
    for (const QString& name : names) {
        const QString path = folder_ + "/" + name;
        if (path == own) continue;
        auto lock = lockAt(path.chopped(int(qstrlen(kDraft))) + kLock);
        if (!lock->tryLock(0)) continue;  // its run is still going
        std::optional<Draft> draft;
        try {
            const std::string bytes = files::readAll(path.toStdString());
            draft = decode(QByteArray::fromStdString(bytes));
        } catch (const Error&) {
        }
        if (!draft) continue;
        leftOverPath_ = path;
        leftOverLock_ = std::move(lock);
        return draft;
    }
    return std::nullopt;
}

void Drafts::forgetLeftOver() {
    if (leftOverPath_.isEmpty()) return;
    files::remove(leftOverPath_.toStdString());
    leftOverPath_.clear();
    leftOverLock_.reset();
}

}  // namespace ostrel::ui
