// What the main window remembers between runs, for the user: the servers, the user id and (only when asked)
// the password used on each, the certificates the user chose to trust, and the resources used.
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include "ui/JobRunner.h"
#include "ui/Keyring.h"
#include "ui/ServerMemory.h"
#include "ui/ServerTrust.h"
#include "ui/frmLogon.h"
#include "ui/frmMain.h"

namespace ostrel::ui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void frmMain::startRemembering() {
    memory = std::make_unique<ServerMemory>();
    keyring = std::make_unique<Keyring>();
    trust = std::make_unique<ServerTrust>(toolkit, *memory, *davClient);
    runner->retryAfterFailure = [this](const std::exception_ptr& failure) {
        return trust->retryAfter(failure);
    };
    runner->afterSuccess = [this] {
        trust->settled();
        rememberResource();
    };
    // The completer only offers: what a command reads is the field's text, as typed or picked.
    resourceCompleter = new QCompleter(QStringList(), this);
    resourceCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    txtWebDAVResource->setCompleter(resourceCompleter);
}

// The servers used before, the last one first (the one in use when the server is changed); the usual
// server where none was used yet.
std::string frmMain::askServer() {
    std::vector<std::string> servers;
    for (const QString& server : memory->servers()) servers.push_back(server.toStdString());
    if (servers.empty()) servers.push_back(kDefaultUri);
    return toolkit.InputBoxWithChoices("URI Ostrel WebDAVServer?", "URI WebDAV server", servers.front(),
                                       servers);
}

void frmMain::useServer(const std::string& uri) {
    davClient->WebDAVURI(uri);
    if (uri.empty()) return;
    const QString server = q(uri);
    memory->useServer(server);
    trust->serverChosen();
    const QString userId = memory->userId(server);
    const QString problem = keyring->unavailableReason();
    logonForm->recall(userId, userId.isEmpty() ? QString() : keyring->password(server, userId).value_or(""),
                      problem);
    static_cast<QStringListModel*>(resourceCompleter->model())->setStringList(memory->resources(server));
}

void frmMain::rememberLogon(const QString& userId, const QString& password) {
    const QString server = q(davClient->WebDAVURI());
    if (server.isEmpty()) return;
    trust->serverChosen();
    const QString before = memory->userId(server);
    memory->setUserId(server, userId);
    guarded([&] {
        // A password is kept only while the user asks for it; another user id's goes with the old id.
        if (before != userId) keyring->remove(server, before);
        if (logonForm->rememberPassword()) {
            keyring->store(server, userId, password);
        } else {
            keyring->remove(server, userId);
        }
    });
}

void frmMain::rememberResource() {
    const QString server = q(davClient->WebDAVURI());
    if (server.isEmpty()) return;
    memory->useResource(server, txtWebDAVResource->text());
    static_cast<QStringListModel*>(resourceCompleter->model())->setStringList(memory->resources(server));
}

void frmMain::mnuForgetServer_Click() {
    guarded([this] {
        const QString server = q(davClient ? davClient->WebDAVURI() : std::string());
        if (server.isEmpty()) return;
        if (!toolkit.AskYesNo("Forget " + server.toStdString() +
                                  " with its user id, remembered password, trusted certificate and recent "
                                  "resources?",
                              "Forget this server"))
            return;
        keyring->remove(server, memory->userId(server));
        memory->forget(server);
        trust->serverChosen();  // the client drops the forgotten pin
        logonForm->recall(QString(), QString(), keyring->unavailableReason());
        static_cast<QStringListModel*>(resourceCompleter->model())->setStringList({});
    });
}

}  // namespace ostrel::ui
