#pragma once

// Helpers that drive the windows as a user does: find controls by their names, answer the modal logon
// dialog, start the main window against a server.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
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
    T* found = window->findChild<T*>(name, Qt::FindDirectChildrenOnly);
    if (!found) qFatal("no control %s", name);
    return found;
}

// Runs an action on the modal logon dialog as soon as it is up.
inline void whenLogonShows(const std::function<void(ui::frmLogon*)>& action) {
    QTimer::singleShot(0, [action] {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (auto* dialog = qobject_cast<ui::frmLogon*>(QApplication::activeModalWidget())) {
                action(dialog);
                return;
            }
            QTest::qWait(10);
        }
        qFatal("the logon dialog did not show");
    });
}

inline void logOn(ui::frmLogon* dialog, const QString& user, const QString& password) {
    QTest::keyClicks(control<QLineEdit>(dialog, "txtUserId"), user);
    QTest::keyClicks(control<QLineEdit>(dialog, "txtPassword"), password);
    QTest::mouseClick(control<QPushButton>(dialog, "Command1"), Qt::LeftButton);
}

// Starts the main window: the URI prompt answered with a server URI, the logon dialog with the credentials.
inline std::unique_ptr<ui::frmMain> startMainWindow(ScriptedToolkit& toolkit, const std::string& uri,
                                                    const QString& user = "demo", const QString& password = "demo") {
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

}  // namespace ostrel::test
