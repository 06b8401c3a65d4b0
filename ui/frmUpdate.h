#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

#include "ui/Drafts.h"
#include "ui/Twips.h"
#include "ui/XmlCheck.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ostrel {
class Toolkit;
}

namespace ostrel::ui {

class FindReplace;

// The document editor: plain text, filled from a file or with a new-document template, handed to the main
// window by "Update". It never talks to the server and never writes a file. It colours the markup, checks
// as the user types that the text is well-formed XML and shows the first error under the text, and asks
// before a text that is not well-formed is handed on.
class frmUpdate : public QWidget {
    Q_OBJECT
public:
    explicit frmUpdate(Toolkit& toolkit, QWidget* parent = nullptr);
    ~frmUpdate() override;

    // Replaces the whole text with a file's content, read as UTF-8 text. Raises an Error when the file cannot
    // be read; the text is then unchanged.
    void xmldoc(const QString& filename);
    // Replaces the whole text with the new-document template.
    void NewDoc();
    // Shows the window with the keyboard focus in the text, the caret at its start: no button holds the
    // focus from an earlier press, so typing never presses one.
    void open();
    // Where the text came from; filling the editor forgets it (a new document has none).
    void setOrigin(EditOrigin origin) { origin_ = std::move(origin); }
    const EditOrigin& origin() const noexcept { return origin_; }
    // Fills the editor with a draft's text, which is not on the server.
    void restore(const Draft& draft);
    // True when the text was changed since it was last filled or stored.
    bool hasUnsavedChanges() const;
    // Told by the handler of UpdateDoc that the text is now on the server as origin says: the editing ends.
    // Until then (a store that failed or was not made) the window stays open with the text.
    void Stored(EditOrigin origin);
    // The user gave up the text that is not stored.
    void Discard();
    // "Update", as the button does it, except that a large text is checked before this returns.
    void requestStore();
    // The whole text with line feeds between lines, every character as typed.
    QString lines() const;

public slots:
    // The resource "Update" stores to: the main window's resource field, as it changes.
    void setResource(const QString& resource);

signals:
    void UpdateDoc(const QString& xmldoc);
    // The text changed, by the user or by filling it.
    void edited();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void Command1_Click();
    void Command2_Click();
    void cmdFormat_Click();
    void cmdXmlError_Click();

private:
    void fill(const QString& text);
    // The whole text, lines separated by CR LF.
    QString text() const;
    void showCheck(const std::optional<XmlProblem>& problem);
    // Checks the text (and formats it, when asked) without holding up the window, then goes on with then.
    void whileChecking(bool format, XmlChecker::Where where,
                       const std::function<void(const XmlVerdict&)>& then);
    // Hands the text on, asking first when it is not well-formed.
    void store(const XmlVerdict& verdict);

    Toolkit& toolkit_;
    QPlainTextEdit* rtfXMlDoc;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* cmdXmlError;
    QPushButton* cmdFormat;
    QPushButton* cmdFind;
    QLabel* lblResource;
    XmlChecker* checker_;
    FindReplace* findReplace_ = nullptr;
    // The first error's position in the text, while there is one.
    std::optional<std::pair<int, int>> errorAt_;
    bool checking_ = false;
    EditOrigin origin_;
    AnchoredLayout placements_;
};

}  // namespace ostrel::ui
