#include "ui/XmlHighlighter.h"

namespace ostrel::ui {

namespace {

QTextCharFormat coloured(const QColor& colour, bool italic = false) {
    QTextCharFormat format;
    format.setForeground(colour);
    format.setFontItalic(italic);
    return format;
}

bool isSpace(QChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The end of a name starting at a position: names stop at white space and at markup characters.
qsizetype nameEnd(const QString& line, qsizetype at) {
    while (at < line.size() && !isSpace(line[at]) && !QStringView(u"<>/=\"'?").contains(line[at])) ++at;
    return at;
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

void XmlHighlighter::highlightBlock(const QString& line) {
    auto state = static_cast<State>(std::max(previousBlockState(), 0));
    qsizetype at = 0;
    while (at < line.size()) {
        switch (state) {
            case InText:
                at = text(line, at, state);
                break;
            case InTag:
                at = tag(line, at, state);
                break;
            case InComment:
                at = closedBy(line, at, "-->", comment_, state);
                break;
            case InCData:
                at = closedBy(line, at, "]]>", cdata_, state);
                break;
            case InInstruction:
                at = closedBy(line, at, "?>", instruction_, state);
                break;
            case InDeclaration:
                at = closedBy(line, at, ">", instruction_, state);
                break;
            case InSubset:
                at = closedBy(line, at, "]", instruction_, state);
                break;
            case InSingle:
                at = value(line, at, '\'', state);
                break;
            case InDouble:
                at = value(line, at, '"', state);
                break;
        }
    }
    setCurrentBlockState(state);
}

qsizetype XmlHighlighter::text(const QString& line, qsizetype at, State& state) {
    static const QList<std::pair<QString, State>> openers = {
        {"<!--", InComment}, {"<![CDATA[", InCData}, {"<?", InInstruction}, {"<!", InDeclaration}};
    while (at < line.size() && line[at] != '<' && line[at] != '&') ++at;
    if (at == line.size()) return at;
    if (line[at] == '&') {
        const qsizetype semicolon = line.indexOf(';', at);
        const qsizetype end = semicolon < 0 ? at + 1 : semicolon + 1;
        setFormat(static_cast<int>(at), static_cast<int>(end - at), reference_);
        return end;
    }
    for (const auto& [opener, inside] : openers) {
        if (QStringView(line).sliced(at).startsWith(opener)) {
            state = inside;
            setFormat(static_cast<int>(at), static_cast<int>(opener.size()),
                      inside == InComment ? comment_ : instruction_);
            return at + opener.size();
        }
    }
    const qsizetype nameStart = at + (at + 1 < line.size() && line[at + 1] == '/' ? 2 : 1);
    const qsizetype end = nameEnd(line, nameStart);
    setFormat(static_cast<int>(at), static_cast<int>(end - at), element_);
    state = InTag;
    return end;
}

qsizetype XmlHighlighter::tag(const QString& line, qsizetype at, State& state) {
    const QChar c = line[at];
    if (isSpace(c) || c == '=') return at + 1;
    if (c == '>' || c == '/') {
        setFormat(static_cast<int>(at), 1, element_);
        if (c == '>') state = InText;
        return at + 1;
    }
    if (c == '"' || c == '\'') {
        setFormat(static_cast<int>(at), 1, value_);
        state = c == '"' ? InDouble : InSingle;
        return at + 1;
    }
    const qsizetype end = std::max(nameEnd(line, at), at + 1);
    setFormat(static_cast<int>(at), static_cast<int>(end - at), attribute_);
    return end;
}

qsizetype XmlHighlighter::closedBy(const QString& line, qsizetype at, const QString& end,
                                   const QTextCharFormat& format, State& state) {
    qsizetype found = line.indexOf(end, at);
    // A DOCTYPE's internal subset holds declarations of its own, each closed by ">".
    if (state == InDeclaration) {
        const qsizetype subset = line.indexOf('[', at);
        if (subset >= 0 && (found < 0 || subset < found)) {
            setFormat(static_cast<int>(at), static_cast<int>(subset + 1 - at), format);
            state = InSubset;
            return subset + 1;
        }
    }
    const qsizetype stop = found < 0 ? line.size() : found + end.size();
    setFormat(static_cast<int>(at), static_cast<int>(stop - at), format);
    if (found >= 0) state = state == InSubset ? InDeclaration : InText;
    return stop;
}

qsizetype XmlHighlighter::value(const QString& line, qsizetype at, QChar quote, State& state) {
    const qsizetype found = line.indexOf(quote, at);
    const qsizetype stop = found < 0 ? line.size() : found + 1;
    setFormat(static_cast<int>(at), static_cast<int>(stop - at), value_);
    if (found >= 0) state = InTag;
    return stop;
}

}  // namespace ostrel::ui
