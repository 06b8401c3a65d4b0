#include "ui/FindReplace.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace ostrel::ui {

FindReplace::FindReplace(QPlainTextEdit* editor, QWidget* parent)
    : QDialog(parent),
      editor_(editor),
      txtFind(new QLineEdit(this)),
      txtReplace(new QLineEdit(this)),
      chkMatchCase(new QCheckBox("Match &case", this)),
      lblOutcome(new QLabel(this)) {
    setObjectName("frmFindReplace");
    setWindowTitle("Find and Replace");
    txtFind->setObjectName("txtFind");
    txtReplace->setObjectName("txtReplace");
    chkMatchCase->setObjectName("chkMatchCase");
    lblOutcome->setObjectName("lblOutcome");

    auto* buttons = new QDialogButtonBox(Qt::Vertical, this);
    auto add = [&](const char* name, const QString& caption, auto action) {
        QPushButton* b = buttons->addButton(caption, QDialogButtonBox::ActionRole);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    add("cmdFindNext", "Find &next", [this] { find(false); })->setDefault(true);
    add("cmdFindPrevious", "Find &previous", [this] { find(true); });
    add("cmdReplace", "&Replace", [this] { replace(); });
    add("cmdReplaceAll", "Replace &all", [this] { replaceAll(); });
    add("cmdClose", "Close", [this] { hide(); });

    auto* fields = new QFormLayout;
    fields->addRow("Fi&nd what:", txtFind);
    fields->addRow("Replace &with:", txtReplace);
    fields->addRow(chkMatchCase);
    fields->addRow(lblOutcome);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addWidget(buttons);
}

QTextDocument::FindFlags FindReplace::flags(bool backward) const {
    QTextDocument::FindFlags flags;
    if (backward) flags |= QTextDocument::FindBackward;
    if (chkMatchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
    return flags;
}

bool FindReplace::find(bool backward) {
    const QString what = txtFind->text();
    lblOutcome->clear();
    if (what.isEmpty()) return false;
    QTextDocument* document = editor_->document();
    QTextCursor found = document->find(what, editor_->textCursor(), flags(backward));
    if (found.isNull()) {
        QTextCursor wrapped(document);
        if (backward) wrapped.movePosition(QTextCursor::End);
        found = document->find(what, wrapped, flags(backward));
    }
    if (found.isNull()) {
        lblOutcome->setText("\"" + what + "\" was not found.");
        return false;
    }
    editor_->setTextCursor(found);
    return true;
}

bool FindReplace::selectionMatches() const {
    const Qt::CaseSensitivity sense = chkMatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QString selected = editor_->textCursor().selectedText();
    return !selected.isEmpty() && selected.compare(txtFind->text(), sense) == 0;
}

void FindReplace::replace() {
    if (selectionMatches()) editor_->textCursor().insertText(txtReplace->text());
    find(false);
}

int FindReplace::replaceAll() {
    const QString what = txtFind->text();
    if (what.isEmpty()) return 0;
    QTextDocument* document = editor_->document();
    QTextCursor edit(document);
    edit.beginEditBlock();
    int count = 0;
    // Each search starts after the last replacement, so the loop ends at the end of the text.
    for (QTextCursor found = document->find(what, 0, flags(false)); !found.isNull();
         found = document->find(what, found, flags(false))) {
        found.insertText(txtReplace->text());
        ++count;
    }
    edit.endEditBlock();
    lblOutcome->setText(QString("%1 replaced.").arg(count));
    return count;
}

}  // namespace ostrel::ui
