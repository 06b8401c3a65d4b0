#pragma once

#include <QString>

#include <functional>

namespace ostrel::ui {

// Where a line of XML text starts or ends: inside character data, a tag, a comment... Markup that spans lines
// (a comment, a tag with its attributes on several lines) carries over from one line to the next.
enum class XmlLexState { Text, Tag, Comment, CData, Instruction, Declaration, Subset, Single, Double };

enum class XmlSpanKind { Element, Attribute, Value, Comment, CData, Instruction, Reference };

// A piece of a line to be coloured as one kind of markup.
struct XmlSpan {
    qsizetype start = 0;
    qsizetype length = 0;
    XmlSpanKind kind = XmlSpanKind::Element;
    friend bool operator==(const XmlSpan&, const XmlSpan&) = default;
};

// Reads one line in a single pass from the state the previous line ended in and returns the state at its
// end. span is told of each coloured piece, in order, as far as colourLimit: beyond it the line is only
// read for the state it leaves, so a very long line costs a pass over its characters and no more colour
// than a short one. Nothing is validated; text that is not well-formed is coloured as far as it looks like
// markup.
XmlLexState lexXmlLine(QStringView line, XmlLexState state, qsizetype colourLimit,
                       const std::function<void(const XmlSpan&)>& span);

}  // namespace ostrel::ui
