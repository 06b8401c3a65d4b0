#include "ui/frmLogon.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "ui/Twips.h"

namespace ostrel::ui {

frmLogon::frmLogon(QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel("User id", this)),
      Label2(new QLabel("Password", this)),
      txtUserId(new QLineEdit(this)),
      txtPassword(new QLineEdit(this)),
      Command1(new QPushButton("Logon", this)),
      chkRememberPassword(new QCheckBox("Remember password", this)) {
    setObjectName("frmLogon");
    setWindowTitle("Logon");
    placeTwips(this, {5970, 5340, 3360, 1770});
    useLayoutFont(this);

    Label1->setObjectName("Label1");
    placeTwips(Label1, {120, 240, 735, 255});
    Label2->setObjectName("Label2");
    placeTwips(Label2, {120, 720, 735, 255});
    // The desktop's font sets "Password" a little wider than the label was drawn for; the gap before the
    // field leaves room to show it whole.
    for (QLabel* label : {Label1, Label2})
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    txtUserId->setObjectName("txtUserId");
    placeTwips(txtUserId, {1200, 240, 1935, 285});
    txtPassword->setObjectName("txtPassword");
    placeTwips(txtPassword, {1200, 720, 1935, 285});
    txtPassword->setEchoMode(QLineEdit::Password);
    // The style's own mask is a bullet; the dialog shows a "*" for every character typed.
    txtPassword->setStyleSheet("lineedit-password-character: 42");
    txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    Command1->setObjectName("Command1");
    placeTwips(Command1, {2160, 1200, 975, 255});
    Command1->setAutoDefault(false);
    Command1->setDefault(false);

    // Below the drawn controls, in room the dialog grows by.
    chkRememberPassword->setObjectName("chkRememberPassword");
    placeTwips(chkRememberPassword, {120, 1620, 3015, 255});
    chkRememberPassword->resize(chkRememberPassword->size().expandedTo(chkRememberPassword->sizeHint()));
    resize(std::max(width(), chkRememberPassword->geometry().right() + twips(120)),
           std::max(height(), chkRememberPassword->geometry().bottom() + twips(240)));

    // A screen reader names each field by the label before it.
    Label1->setBuddy(txtUserId);
    Label2->setBuddy(txtPassword);

    setTabOrder(txtUserId, txtPassword);
    setTabOrder(txtPassword, Command1);
    setTabOrder(Command1, chkRememberPassword);
    txtUserId->setFocus();

    connect(Command1, &QPushButton::clicked, this, &frmLogon::Command1_Click);
}

void frmLogon::keyPressEvent(QKeyEvent* event) {
    // A dialog would take Esc as cancel and Enter as its default button; this one has neither.
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void frmLogon::recall(const QString& userId, const QString& password, const QString& keyringProblem) {
    txtUserId->setText(userId);
    txtPassword->setText(password);
    chkRememberPassword->setChecked(keyringProblem.isEmpty() && !password.isEmpty());
    chkRememberPassword->setEnabled(keyringProblem.isEmpty());
    chkRememberPassword->setToolTip(keyringProblem);
    chkRememberPassword->setAccessibleDescription(keyringProblem);
}

bool frmLogon::rememberPassword() const {
    return chkRememberPassword->isEnabled() && chkRememberPassword->isChecked();
}

void frmLogon::Command1_Click() {
    emit LoggedOn(txtUserId->text(), txtPassword->text());
    accept();
}

}  // namespace ostrel::ui
