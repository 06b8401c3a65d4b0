#pragma once

#include <QDialog>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <vector>

namespace ostrel::ui {

struct Shortcut {
    QString command;
    QList<QKeySequence> keys;  // every key that does it, the first the one to learn
};

struct ShortcutGroup {
    QString window;
    std::vector<Shortcut> shortcuts;
};

// The keys the editor and the result viewer bind in their own windows, as they bind them.
ShortcutGroup editorShortcuts();
ShortcutGroup viewerShortcuts();

// Help > Keyboard shortcuts: every key in a table of two aligned columns, command and keys, under a heading
// row for each window.
class ShortcutsDialog : public QDialog {
    Q_OBJECT
public:
    ShortcutsDialog(const std::vector<ShortcutGroup>& groups, QWidget* parent);
};

}  // namespace ostrel::ui
