#pragma once

#include <QDialog>
#include <QTextDocument>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace ostrel::ui {

// Find and Replace in an editor's text: a small window of its own beside the editor, left open while the
// user goes on editing. Searches wrap around the end of the text.
class FindReplace : public QDialog {
    Q_OBJECT
public:
    FindReplace(QPlainTextEdit* editor, QWidget* parent);

    // Selects the next (or previous) occurrence after (before) the cursor; false when there is none.
    bool find(bool backward = false);
    // Replaces the selected occurrence, then finds the next one.
    void replace();
    // Replaces every occurrence, as one step that Undo takes back; returns how many.
    int replaceAll();

private:
    QTextDocument::FindFlags flags(bool backward) const;
    bool selectionMatches() const;

    QPlainTextEdit* editor_;
    QLineEdit* txtFind;
    QLineEdit* txtReplace;
    QCheckBox* chkMatchCase;
    QLabel* lblOutcome;
};

}  // namespace ostrel::ui
