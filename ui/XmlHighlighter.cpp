#include "ui/XmlHighlighter.h"

namespace ostrel::ui {

namespace {

QTextCharFormat coloured(const QColor& colour, bool italic = false) {
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFontItalic(italic);
    return format;
}

}  // namespace

XmlHighlighter::XmlHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document),
      element_(coloured(QColor(0x80, 0x00, 0x00))),
      attribute_(coloured(QColor(0xB0, 0x40, 0x00))),
      value_(coloured(QColor(0x00, 0x00, 0xC0))),
      comment_(coloured(QColor(0x60, 0x80, 0x60), true)),
      cdata_(coloured(QColor(0x50, 0x50, 0x50))),
      instruction_(coloured(QColor(0x80, 0x00, 0x80))),
      reference_(coloured(QColor(0x00, 0x70, 0x70))) {
    element_.setFontWeight(QFont::Bold);
}

const QTextCharFormat& XmlHighlighter::formatOf(XmlSpanKind kind) const {
    switch (kind) {
        case XmlSpanKind::Element:
            return element_;
        case XmlSpanKind::Attribute:
            return attribute_;
        case XmlSpanKind::Value:
            return value_;
        case XmlSpanKind::Comment:
            return comment_;
        case XmlSpanKind::CData:
            return cdata_;
        case XmlSpanKind::Instruction:
            return instruction_;
        case XmlSpanKind::Reference:
            return reference_;
    }
    return element_;
}

void XmlHighlighter::highlightBlock(const QString& line) {
    const auto previous = static_cast<XmlLexState>(std::max(previousBlockState(), 0));
    const XmlLexState state = lexXmlLine(line, previous, kColouredPerLine, [this](const XmlSpan& span) {
        setFormat(static_cast<int>(span.start), static_cast<int>(span.length), formatOf(span.kind));
    });
    setCurrentBlockState(static_cast<int>(state));
}

}  // namespace ostrel::ui
