#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace ostrel::ui {

// The document editor: plain text, filled from a file or with a new-document template, handed to the main
// window by "Update". It never talks to the server and never writes a file.
class frmUpdate : public QWidget {
    Q_OBJECT
public:
    explicit frmUpdate(QWidget* parent = nullptr);

    // Replaces the whole text with a file's content, read as UTF-8 text. Raises an Error when the file cannot
    // be read; the text is then unchanged.
    void xmldoc(const QString& filename);
    // Replaces the whole text with the new-document template.
    void NewDoc();
    // True when the text was changed since it was last filled or stored.
    bool hasUnsavedChanges() const;
    // Told by the handler of UpdateDoc that the text is now on the server: the editing ends. Until then
    // (a store that failed) the window stays open with the text.
    void Stored();

signals:
    void UpdateDoc(const QString& xmldoc);

private slots:
    void Command1_Click();
    void Command2_Click();

private:
    void fill(const QString& text);
    // The whole text, lines separated by CR LF.
    QString text() const;

    QPlainTextEdit* rtfXMlDoc;
    QPushButton* Command1;
    QPushButton* Command2;
};

}  // namespace ostrel::ui
