#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "ui/XmlLexer.h"

namespace ostrel::ui {

// Colours XML markup as it is typed: element names, attribute names and values, comments, CDATA sections,
// declarations and processing instructions, and entity and character references (see XmlLexer.h). A line
// is read once per change, and only its first kColouredPerLine characters are coloured: a document written
// on one very long line stays as quick to type into as any other.
class XmlHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    static constexpr qsizetype kColouredPerLine = 10000;

    explicit XmlHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;

private:
    const QTextCharFormat& formatOf(XmlSpanKind kind) const;

    QTextCharFormat element_;
    QTextCharFormat attribute_;
    QTextCharFormat value_;
    QTextCharFormat comment_;
    QTextCharFormat cdata_;
    QTextCharFormat instruction_;
    QTextCharFormat reference_;
};

}  // namespace ostrel::ui
