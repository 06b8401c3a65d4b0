#pragma once

#include <QDialog>

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
};

}  // namespace ostrel::ui
