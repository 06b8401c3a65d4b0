#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

#include "ui/XmlFormat.h"

namespace ostrel::ui {

// Where a text first fails to be well-formed XML, as the parser reports it; lines and columns count from 1,
// a column in characters.
struct XmlProblem {
    int line = 1;
    int column = 1;
    QString message;

    // "line L, column C: message"
    QString describe() const;
};

// The first well-formedness error of a text, or nothing when the text is a well-formed document. The text
// is parsed as the server will be sent it: already Unicode, whatever its declaration names.
std::optional<XmlProblem> firstXmlProblem(const QString& text);
// The offset in text of a line and column, kept within that line (a parser reports some errors just past
// the end of a line or of the text).
int offsetOf(const QString& text, int line, int column);

// A text as one check saw it: whether it is well-formed, and, when asked for and it is, the text formatted.
struct XmlVerdict {
    QString text;
    std::optional<XmlProblem> problem;
    std::optional<Formatted> formatted;
};

// Checks a text once it has been left alone for a moment, so typing never waits for the parser; a large
// text is parsed off the user-interface thread. Only the check of the latest text reports.
class XmlChecker : public QObject {
    Q_OBJECT
public:
    XmlChecker(std::function<QString()> text, QObject* parent);

    // The text changed: checks it after a pause in typing.
    void schedule();
    // Where checkThen works: in place for a small text and on a pool thread for a large one, or in place
    // whatever the size, for a caller that must know the outcome before it goes on.
    enum class Where { BySize, InPlace };
    // Checks the text as it is now, and formats it too when format is set and the text is well-formed; then
    // calls done on this thread. Checked in place, done is called before this returns; on a pool thread, the
    // window goes on painting meanwhile, and done is not called when this object goes first.
    void checkThen(bool format, Where where, std::function<void(const XmlVerdict&)> done);

signals:
    void checked(const std::optional<ostrel::ui::XmlProblem>& problem);

private:
    void runCheck();

    std::function<QString()> text_;
    QTimer pause_;
    unsigned generation_ = 0;
};

}  // namespace ostrel::ui
