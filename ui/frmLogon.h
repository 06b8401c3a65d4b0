#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrel::ui {

// The logon dialog shown once at start-up. "Logon" hands the two texts over exactly as typed; the close box
// leaves without logging on. Neither Enter nor Esc does anything.
class frmLogon : public QDialog {
    Q_OBJECT
public:
    explicit frmLogon(QWidget* parent = nullptr);

    // Fills the dialog with what was remembered for the chosen server; keyringProblem, when not empty, says
    // why no password can be remembered, and the check box is disabled.
    void recall(const QString& userId, const QString& password, const QString& keyringProblem);
    // Whether the user asked to remember the password given with LoggedOn.
    bool rememberPassword() const;

signals:
    void LoggedOn(const QString& userId, const QString& password);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void Command1_Click();

private:
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* txtUserId;
    QLineEdit* txtPassword;
    QPushButton* Command1;
    QCheckBox* chkRememberPassword;
};

}  // namespace ostrel::ui
