#include "ui/ServerMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/Certificates.h"

namespace ostrel::ui {

namespace {

// A URI holds "/" and ":", which QSettings reads as groups and separators: each server's entries live
// under its URI in hex.
QString serverGroup(const QString& server) {
    return "server-" + QString::fromLatin1(server.toUtf8().toHex());
}

QString pinKey(const QString& endpoint) {
    return "pins/" + QString::fromLatin1(endpoint.toUtf8().toHex());
}

QStringList movedToFront(QStringList list, const QString& entry, qsizetype limit) {
    list.removeAll(entry);
    list.prepend(entry);
    while (list.size() > limit) list.removeLast();
    return list;
}

}  // namespace

QString ServerMemory::defaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/ostrel-webdav/settings.ini";
}

ServerMemory::ServerMemory(const QString& file) : settings_(file, QSettings::IniFormat) {}

QStringList ServerMemory::servers() const {
    return settings_.value("servers").toStringList();
}

void ServerMemory::useServer(const QString& server) {
    if (server.isEmpty()) return;
    settings_.setValue("servers", movedToFront(servers(), server, 1000));
    save();
}

QString ServerMemory::userId(const QString& server) const {
    return settings_.value(serverGroup(server) + "/userId").toString();
}

void ServerMemory::setUserId(const QString& server, const QString& userId) {
    settings_.setValue(serverGroup(server) + "/userId", userId);
    save();
}

QStringList ServerMemory::resources(const QString& server) const {
    return settings_.value(serverGroup(server) + "/resources").toStringList();
}

void ServerMemory::useResource(const QString& server, const QString& resource) {
    if (resource.trimmed().isEmpty()) return;
    const QStringList before = resources(server);
    if (!before.isEmpty() && before.first() == resource) return;
    settings_.setValue(serverGroup(server) + "/resources", movedToFront(before, resource, kRecentResources));
    save();
}

QString ServerMemory::pin(const QString& endpoint) const {
    return settings_.value(pinKey(endpoint)).toString();
}

void ServerMemory::setPin(const QString& endpoint, const QString& pin) {
    settings_.setValue(pinKey(endpoint), pin);
    save();
}

void ServerMemory::forget(const QString& server) {
    QStringList kept = servers();
    kept.removeAll(server);
    settings_.setValue("servers", kept);
    settings_.remove(serverGroup(server));
    if (const auto endpoint = certificates::httpsEndpoint(server.toStdString()))
        settings_.remove(pinKey(QString::fromStdString(endpoint->key())));
    save();
}

void ServerMemory::save() {
    // The folder and the file are the user's alone; the file is written anew by every sync, so its mode is
    // set again each time.
    const QString folder = QFileInfo(settings_.fileName()).absolutePath();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Made private before the first write, so what is written never stands readable by others.
    if (QFile file(settings_.fileName()); !file.exists())
        file.open(QIODevice::WriteOnly, QFile::ReadOwner | QFile::WriteOwner);
    settings_.sync();
    QFile::setPermissions(settings_.fileName(), QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace ostrel::ui
