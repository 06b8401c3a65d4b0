#include "ui/XmlLexer.h"

#include <algorithm>

namespace ostrel::ui {

namespace {

bool isSpace(QChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// What may stand between "&" and ";": a name, or "#" and digits. Anything else ends a reference, so an "&"
// without its ";" never looks further than the word it starts.
bool isReferenceChar(QChar c) {
    return c.isLetterOrNumber() || c == '_' || c == ':' || c == '.' || c == '-' || c.unicode() > 0x7F;
}

struct Lexer {
    QStringView line;
    XmlLexState state;
    qsizetype limit;
    const std::function<void(const XmlSpan&)>& span;
    qsizetype at = 0;

    void colour(qsizetype start, qsizetype end, XmlSpanKind kind) const {
        end = std::min(end, limit);
        if (start < end) span({start, end - start, kind});
    }

    // The end of a name starting at a position: names stop at white space and at markup characters.
    qsizetype nameEnd(qsizetype from) const {
        while (from < line.size() && !isSpace(line[from]) && !QStringView(u"<>/=\"'?").contains(line[from]))
            ++from;
        return from;
    }

    qsizetype referenceEnd(qsizetype amp) const {
        qsizetype name = amp + 1;
        if (name < line.size() && line[name] == '#') ++name;
        qsizetype end = name;
        while (end < line.size() && isReferenceChar(line[end])) ++end;
        return end > name && end < line.size() && line[end] == ';' ? end + 1 : amp + 1;
    }

    void text() {
        while (at < line.size() && line[at] != '<' && line[at] != '&') ++at;
        if (at == line.size()) return;
        if (line[at] == '&') {
            const qsizetype end = referenceEnd(at);
            colour(at, end, XmlSpanKind::Reference);
            at = end;
            return;
        }
        struct Opener {
            QStringView text;
            XmlLexState inside;
        };
        static constexpr Opener openers[] = {{u"<!--", XmlLexState::Comment},
                                             {u"<![CDATA[", XmlLexState::CData},
                                             {u"<?", XmlLexState::Instruction},
                                             {u"<!", XmlLexState::Declaration}};
        for (const auto& [opener, inside] : openers) {
            if (line.sliced(at).startsWith(opener)) {
                state = inside;
                colour(at, at + opener.size(),
                       inside == XmlLexState::Comment ? XmlSpanKind::Comment : XmlSpanKind::Instruction);
                at += opener.size();
                return;
            }
        }
        const qsizetype end = nameEnd(at + (at + 1 < line.size() && line[at + 1] == '/' ? 2 : 1));
        colour(at, end, XmlSpanKind::Element);
        state = XmlLexState::Tag;
        at = end;
    }

    void tag() {
        const QChar c = line[at];
        if (isSpace(c) || c == '=') {
            ++at;
        } else if (c == '>' || c == '/') {
            colour(at, at + 1, XmlSpanKind::Element);
            if (c == '>') state = XmlLexState::Text;
            ++at;
        } else if (c == '"' || c == '\'') {
            colour(at, at + 1, XmlSpanKind::Value);
            state = c == '"' ? XmlLexState::Double : XmlLexState::Single;
            ++at;
        } else {
            const qsizetype end = std::max(nameEnd(at), at + 1);
            colour(at, end, XmlSpanKind::Attribute);
            at = end;
        }
    }

    // Colours up to and including the text that closes the markup, or to the end of the line.
    void closedBy(QStringView end, XmlSpanKind kind, XmlLexState after) {
        const qsizetype found = line.indexOf(end, at);
        // A DOCTYPE's internal subset holds declarations of its own, each closed by ">". Only the part before
        // the ">" is searched for it, so that each declaration is read once.
        if (state == XmlLexState::Declaration) {
            const qsizetype subset = line.first(found < 0 ? line.size() : found).indexOf('[', at);
            if (subset >= 0) {
                colour(at, subset + 1, kind);
                state = XmlLexState::Subset;
                at = subset + 1;
                return;
            }
        }
        const qsizetype stop = found < 0 ? line.size() : found + end.size();
        colour(at, stop, kind);
        if (found >= 0) state = after;
        at = stop;
    }

    void run() {
        while (at < line.size()) {
            switch (state) {
                case XmlLexState::Text:
                    text();
                    break;
                case XmlLexState::Tag:
                    tag();
                    break;
                case XmlLexState::Comment:
                    closedBy(u"-->", XmlSpanKind::Comment, XmlLexState::Text);
                    break;
                case XmlLexState::CData:
                    closedBy(u"]]>", XmlSpanKind::CData, XmlLexState::Text);
                    break;
                case XmlLexState::Instruction:
                    closedBy(u"?>", XmlSpanKind::Instruction, XmlLexState::Text);
                    break;
                case XmlLexState::Declaration:
                    closedBy(u">", XmlSpanKind::Instruction, XmlLexState::Text);
                    break;
                case XmlLexState::Subset:
                    closedBy(u"]", XmlSpanKind::Instruction, XmlLexState::Declaration);
                    break;
                case XmlLexState::Single:
                    closedBy(u"'", XmlSpanKind::Value, XmlLexState::Tag);
                    break;
                case XmlLexState::Double:
                    closedBy(u"\"", XmlSpanKind::Value, XmlLexState::Tag);
                    break;
            }
        }
    }
};

}  // namespace

XmlLexState lexXmlLine(QStringView line, XmlLexState state, qsizetype colourLimit,
                       const std::function<void(const XmlSpan&)>& span) {
    Lexer lexer{line, state, colourLimit, span};
    lexer.run();
    return lexer.state;
}

}  // namespace ostrel::ui
