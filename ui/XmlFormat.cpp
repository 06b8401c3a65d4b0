#include "ui/XmlFormat.h"

#include <QXmlStreamReader>

#include <vector>

namespace ostrel::ui {

namespace {

// One piece of the text as the reader reports it: a tag, a comment, a run of characters... A piece of
// markup knows where it stands in the text; a run of characters only whether it is blank.
struct Token {
    QXmlStreamReader::TokenType type;
    qsizetype start = 0;
    qsizetype end = 0;
    bool blank = false;  // characters that are only white space
    // For a start tag: its content keeps its own white space. For an end tag: where its start tag is.
    bool keepContent = false;
    qsizetype match = -1;
};

bool isBlank(QStringView text) {
    for (QChar c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
    }
    return true;
}

QStringView markup(const QString& text, const Token& token) {
    return QStringView(text).mid(token.start, token.end - token.start);
}

// Where the markup ending at a position begins. The reader tells where each piece of markup ends (after a
// run of characters it has already read on into the next "<"); each kind of markup begins with an opener
// that cannot occur inside it, except that a tag's "<" is the last one before its end.
qsizetype markupStart(const QString& text, const QXmlStreamReader& reader, qsizetype end) {
    switch (reader.tokenType()) {
        case QXmlStreamReader::StartDocument:
            return reader.documentVersion().isEmpty() ? end
                                                      : text.lastIndexOf(QLatin1String("<?xml"), end - 1);
        case QXmlStreamReader::Comment:
            return text.lastIndexOf(QLatin1String("<!--"), end - 1);
        case QXmlStreamReader::ProcessingInstruction:
            return text.lastIndexOf(QLatin1String("<?"), end - 1);
        case QXmlStreamReader::DTD:
            return text.lastIndexOf(QLatin1String("<!DOCTYPE"), end - 1);
        default:
            return text.lastIndexOf('<', end - 1);
    }
}

std::optional<std::vector<Token>> tokenize(const QString& text) {
    std::vector<Token> tokens;
    // Start tags still open, and whether xml:space="preserve" holds inside each.
    std::vector<std::pair<qsizetype, bool>> open;
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType type = reader.readNext();
        if (reader.hasError()) return std::nullopt;
        Token token{type};
        if (type != QXmlStreamReader::Characters && type != QXmlStreamReader::EntityReference) {
            token.end = reader.characterOffset();
            token.start = markupStart(text, reader, token.end);
        }
        if (type == QXmlStreamReader::Characters || type == QXmlStreamReader::EntityReference) {
            token.blank = type == QXmlStreamReader::Characters && !reader.isCDATA() && isBlank(reader.text());
            if (!token.blank && !open.empty())
                tokens[static_cast<std::size_t>(open.back().first)].keepContent = true;
        } else if (type == QXmlStreamReader::StartElement) {
            const QStringView space =
                reader.attributes().value("http://www.w3.org/XML/1998/namespace", "space");
            const bool inherited = !open.empty() && open.back().second;
            const bool preserve = space.isNull() ? inherited : space == QLatin1String("preserve");
            token.keepContent = preserve;
            open.emplace_back(static_cast<qsizetype>(tokens.size()), preserve);
        } else if (type == QXmlStreamReader::EndElement) {
            token.match = open.back().first;
            open.pop_back();
            // An empty element written <a/> has an end tag of no characters.
            if (token.end == tokens[static_cast<std::size_t>(token.match)].end) token.start = token.end;
        }
        tokens.push_back(token);
    }
    return tokens;
}

}  // namespace

std::optional<QString> formatXml(const QString& text) {
    const std::optional<std::vector<Token>> tokens = tokenize(text);
    if (!tokens) return std::nullopt;
    QString out;
    out.reserve(text.size());
    // For each element being indented: whether anything of its content went on a line of its own.
    std::vector<bool> wroteContent;
    auto newLine = [&] {
        if (!wroteContent.empty()) wroteContent.back() = true;
        if (!out.isEmpty()) out += '\n' + QString(static_cast<qsizetype>(wroteContent.size()) * 2, ' ');
    };
    // A start tag whose content is copied as written, up to its end tag; -1 when none.
    qsizetype keptFrom = -1;
    qsizetype keptStart = 0;
    for (std::size_t i = 0; i < tokens->size(); ++i) {
        const Token& token = (*tokens)[i];
        if (keptFrom >= 0) {
            if (token.type == QXmlStreamReader::EndElement && token.match == keptFrom) {
                out += QStringView(text).mid(keptStart, token.end - keptStart);
                keptFrom = -1;
            }
            continue;
        }
        switch (token.type) {
            case QXmlStreamReader::StartElement:
                newLine();
                if (token.keepContent) {
                    keptFrom = static_cast<qsizetype>(i);
                    keptStart = token.start;
                } else {
                    out += markup(text, token);
                    wroteContent.push_back(false);
                }
                break;
            case QXmlStreamReader::EndElement: {
                const bool hadContent = wroteContent.back();
                wroteContent.pop_back();
                if (hadContent) newLine();
                out += markup(text, token);
                break;
            }
            // Characters outside kept content are white space between markup, which the new lines replace.
            case QXmlStreamReader::Characters:
            case QXmlStreamReader::EntityReference:
            case QXmlStreamReader::EndDocument:
            case QXmlStreamReader::NoToken:
            case QXmlStreamReader::Invalid:
                break;
            default:  // the declaration, a comment, a processing instruction, the DOCTYPE
                newLine();
                out += markup(text, token);
                break;
        }
    }
    return out;
}

}  // namespace ostrel::ui
