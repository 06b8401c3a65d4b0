#pragma once

#include <QString>

#include <optional>

namespace ostrel::ui {

// Passwords the user asked to remember, in the desktop's secret service (the Secret Service of GNOME's
// keyring or KWallet, whichever the session runs), one per server and user id. Never written to a file: where
// no secret service answers there is simply nothing to remember with.
class Keyring {
public:
    // Empty when the secret service answers; otherwise why it cannot keep passwords. Asked once.
    QString unavailableReason();
    // The remembered password; std::nullopt when there is none or the secret service does not answer.
    std::optional<QString> password(const QString& server, const QString& userId);
    // Raise an Error when the secret service refuses.
    void store(const QString& server, const QString& userId, const QString& password);
    void remove(const QString& server, const QString& userId);

private:
    std::optional<QString> reason_;
};

}  // namespace ostrel::ui
