#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace ostrel::ui {

// What the program remembers between runs about the servers the user worked with: the servers, most recent
// first; the user id last used on each; the resources used on each; and the public keys the user chose to
// trust per host and port. Passwords are never here (see Keyring). The file is the user's alone (0600).
class ServerMemory {
public:
    static constexpr int kRecentResources = 50;

    // The settings file in the user's configuration folder ($XDG_CONFIG_HOME/ostrel-webdav/).
    static QString defaultFile();
    explicit ServerMemory(const QString& file = defaultFile());

    QStringList servers() const;
    // The server was chosen: it moves to the front.
    void useServer(const QString& server);
    QString userId(const QString& server) const;
    void setUserId(const QString& server, const QString& userId);
    // Most recent first, at most kRecentResources.
    QStringList resources(const QString& server) const;
    void useResource(const QString& server, const QString& resource);
    // The pinned public key ("sha256//BASE64") of an endpoint ("host:port"); empty when there is none.
    QString pin(const QString& endpoint) const;
    void setPin(const QString& endpoint, const QString& pin);
    // Forgets the server with its user id, its resources and the pin of its endpoint.
    void forget(const QString& server);

    QString fileName() const { return settings_.fileName(); }

private:
    void save();

    QSettings settings_;
};

}  // namespace ostrel::ui
