#include "ui/Shortcuts.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace ostrel::ui {

ShortcutGroup editorShortcuts() {
    return {"Editor (Update document)",
            {{"Store (Update)", QKeySequence::keyBindings(QKeySequence::Save)},
             {"Find and replace", QKeySequence::keyBindings(QKeySequence::Find) +
                                      QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_H)}},
             {"Find next", QKeySequence::keyBindings(QKeySequence::FindNext)},
             {"Find previous", QKeySequence::keyBindings(QKeySequence::FindPrevious)},
             {"Format", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F)}}}};
}

ShortcutGroup viewerShortcuts() {
    return {"Result viewer",
            {{"Find", {QKeySequence(QKeySequence::Find)}},
             {"Find next", {QKeySequence(Qt::Key_F3)}},
             {"Find previous", {QKeySequence(Qt::SHIFT | Qt::Key_F3)}},
             {"Copy the element as XML", {QKeySequence(QKeySequence::Copy)}},
             {"Expand all", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}},
             {"Collapse all", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)}},
             {"Hide", {QKeySequence(Qt::ALT | Qt::Key_H)}}}};
}

ShortcutsDialog::ShortcutsDialog(const std::vector<ShortcutGroup>& groups, QWidget* parent)
    : QDialog(parent) {
    setObjectName("frmShortcuts");
    setWindowTitle("Keyboard shortcuts");
    auto* table = new QTableWidget(0, 2, this);
    table->setObjectName("tblShortcuts");
    table->setHorizontalHeaderLabels({"Command", "Keys"});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setShowGrid(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    for (const ShortcutGroup& group : groups) {
        const int heading = table->rowCount();
        table->insertRow(heading);
        auto* title = new QTableWidgetItem(group.window);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        table->setItem(heading, 0, title);
        table->setSpan(heading, 0, 1, 2);
        for (const Shortcut& shortcut : group.shortcuts) {
            QStringList keys;
            for (const QKeySequence& key : shortcut.keys) keys << key.toString(QKeySequence::NativeText);
            const int row = table->rowCount();
            table->insertRow(row);
            table->setItem(row, 0, new QTableWidgetItem("    " + shortcut.command));
            table->setItem(row, 1, new QTableWidgetItem(keys.join(", ")));
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    // The whole list without scrolling where the screen has room for it.
    const int width =
        table->verticalHeader()->width() + table->horizontalHeader()->length() + table->frameWidth() * 2 + 24;
    const int height =
        table->horizontalHeader()->height() + table->verticalHeader()->length() + table->frameWidth() * 2;
    table->setMinimumSize(width, std::min(height, 600));
}

}  // namespace ostrel::ui
