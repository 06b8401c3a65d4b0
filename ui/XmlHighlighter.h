#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace ostrel::ui {

// Colours XML markup as it is typed: element names, attribute names and values, comments, CDATA sections,
// declarations and processing instructions, and entity and character references. Markup that spans lines
// (a comment, a tag with its attributes on several lines) carries over from one line to the next.
class XmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit XmlHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    enum State {
        InText,
        InTag,
        InComment,
        InCData,
        InInstruction,
        InDeclaration,
        InSubset,
        InSingle,
        InDouble
    };

    // Each scan colours from a position in the given state and returns where it stopped, and in which state.
    qsizetype text(const QString& line, qsizetype at, State& state);
    qsizetype tag(const QString& line, qsizetype at, State& state);
    qsizetype closedBy(const QString& line, qsizetype at, const QString& end, const QTextCharFormat& format,
                       State& state);
    qsizetype value(const QString& line, qsizetype at, QChar quote, State& state);

    QTextCharFormat element_;
    QTextCharFormat attribute_;
    QTextCharFormat value_;
    QTextCharFormat comment_;
    QTextCharFormat cdata_;
    QTextCharFormat instruction_;
    QTextCharFormat reference_;
};

}  // namespace ostrel::ui
