#include "ui/frmUpdate.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/Files.h"
#include "platform/TextCodec.h"
#include "ui/Icons.h"
#include "ui/Twips.h"

namespace ostrel::ui {

namespace {
constexpr const char* kNewDocument = "<?xml version=\"1.0\"?>\r\n<newdoc></newdoc>";
}

frmUpdate::frmUpdate(QWidget* parent)
    : QWidget(parent, Qt::Window),
      rtfXMlDoc(new QPlainTextEdit(this)),
      Command1(new QPushButton("Update", this)),
      Command2(new QPushButton("Cancel", this)) {
    setObjectName("frmUpdate");
    setWindowTitle("Update document");
    setWindowIcon(editorIcon());
    placeTwips(this, {1665, 1965, 10380, 6240});
    useLayoutFont(this);

    rtfXMlDoc->setObjectName("rtfXMlDoc");
    rtfXMlDoc->setAccessibleName("Document");
    placeTwips(rtfXMlDoc, {240, 240, 9735, 5055});
    rtfXMlDoc->setLineWrapMode(QPlainTextEdit::NoWrap);
    rtfXMlDoc->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Command1->setObjectName("Command1");
    placeTwips(Command1, {8040, 5640, 855, 255});
    Command2->setObjectName("Command2");
    placeTwips(Command2, {9120, 5640, 855, 255});

    setTabOrder(rtfXMlDoc, Command1);
    setTabOrder(Command1, Command2);
    rtfXMlDoc->setFocus();

    connect(Command1, &QPushButton::clicked, this, &frmUpdate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmUpdate::Command2_Click);
}

void frmUpdate::fill(const QString& text) {
    QString lines = text;
    lines.replace("\r\n", "\n");
    rtfXMlDoc->setPlainText(lines);
    rtfXMlDoc->document()->setModified(false);
}

void frmUpdate::xmldoc(const QString& filename) {
    const std::string bytes = files::readAll(filename.toStdString());
    fill(QString::fromStdString(text::toValidUtf8(bytes)));
}

void frmUpdate::NewDoc() {
    fill(kNewDocument);
}

QString frmUpdate::text() const {
    return rtfXMlDoc->toPlainText().replace("\n", "\r\n");
}

bool frmUpdate::hasUnsavedChanges() const {
    return rtfXMlDoc->document()->isModified();
}

void frmUpdate::Stored() {
    rtfXMlDoc->document()->setModified(false);
    hide();
}

void frmUpdate::Command1_Click() {
    emit UpdateDoc(text());
}

void frmUpdate::Command2_Click() {
    hide();
}

}  // namespace ostrel::ui
