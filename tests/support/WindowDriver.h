#pragma once

// Drives the windows as a user does: controls found by their names, the modal logon dialog answered, the main
// window started against a server.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "support/ScriptedToolkit.h"
#include "ui/frmLogon.h"
#include "ui/frmMain.h"

namespace ostrel::test {

template <typename T = QWidget>
T* control(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(name);
    if (!found) qFatal("no control %s", name);
    return found;
}

// A window of its own (the editor "frmUpdate", the viewer "frmBrowse"), or nullptr while there is none.
inline QWidget* topLevel(const char* name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == name) return window;
    }
    return nullptr;
}

// Runs an action on a modal window of the given kind as soon as it is up. Each look is a timer of its own, so
// the code that shows it may run event loops of its own (asking the keyring) first.
template <typename Window = QWidget>
void whenModalShows(const std::function<void(Window*)>& action, int attempts = 2000) {
    QTimer::singleShot(attempts == 2000 ? 0 : 10, [action, attempts] {
        if (auto* modal = qobject_cast<Window*>(QApplication::activeModalWidget())) return action(modal);
        if (attempts == 0) qFatal("the modal window did not show");
        whenModalShows<Window>(action, attempts - 1);
    });
}

inline void whenLogonShows(const std::function<void(ui::frmLogon*)>& action) {
    whenModalShows<ui::frmLogon>(action);
}

inline void logOn(ui::frmLogon* dialog, const QString& user, const QString& password) {
    QTest::keyClicks(control<QLineEdit>(dialog, "txtUserId"), user);
    QTest::keyClicks(control<QLineEdit>(dialog, "txtPassword"), password);
    QTest::mouseClick(control<QAbstractButton>(dialog, "Command1"), Qt::LeftButton);
}

// Starts the main window: the URI prompt answered with a server URI, the logon dialog with the credentials.
// Each window keeps its drafts in a folder of its own, so no test sees another's.
inline std::unique_ptr<ui::frmMain> startMainWindow(ScriptedToolkit& toolkit, const std::string& uri,
                                                    const QString& user = "demo",
                                                    const QString& password = "demo") {
    static QTemporaryDir states;
    static int started = 0;
    qputenv("XDG_STATE_HOME", (states.path() + "/" + QString::number(++started)).toLocal8Bit());
    // Nor the servers, user ids and pins another window remembered.
    qputenv("XDG_CONFIG_HOME", (states.path() + "/config" + QString::number(started)).toLocal8Bit());
    toolkit.inputs.push_back(uri);
    auto window = std::make_unique<ui::frmMain>(toolkit);
    whenLogonShows([user, password](ui::frmLogon* dialog) { logOn(dialog, user, password); });
    window->Form_Load();
    window->show();
    return window;
}

inline void click(QWidget* window, const char* name) {
    QTest::mouseClick(control<QAbstractButton>(window, name), Qt::LeftButton);
}

inline void setField(QWidget* window, const QString& text) {
    control<QLineEdit>(window, "txtWebDAVResource")->setText(text);
}

inline QStringList listed(QWidget* window) {
    QStringList entries;
    auto* list = control<QListWidget>(window, "lstResult");
    for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
    return entries;
}

// Selects a list entry as a click does; an entry that is not listed selects nothing.
inline void pick(QWidget* window, const QString& entry) {
    auto* list = control<QListWidget>(window, "lstResult");
    list->setCurrentItem(list->findItems(entry, Qt::MatchExactly).value(0));
}

}  // namespace ostrel::test
