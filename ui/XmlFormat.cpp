#include "ui/XmlFormat.h"

#include <vector>

namespace ostrel::ui {

namespace {

enum class Kind { Text, Start, Empty, End, Other };

// A piece of the text: a run of character data, a tag, or other markup (the declaration, a comment, a
// processing instruction, the document type).
struct Token {
    Kind kind = Kind::Text;
    qsizetype start = 0;
    qsizetype end = 0;
    bool blank = false;        // character data that is only white space
    bool keepContent = false;  // a start tag whose content keeps its own white space
    qsizetype match = -1;      // an end tag: where its start tag is
};

bool isSpace(QChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(QStringView text) {
    for (QChar c : text) {
        if (!isSpace(c)) return false;
    }
    return true;
}

struct Failure {
    QString why;
};

class Tokenizer {
public:
    explicit Tokenizer(const QString& text) : text_(text) {}

    std::vector<Token> run() {
        while (at_ < text_.size()) {
            if (text_[at_] == '<') {
                markup();
            } else {
                const qsizetype next = text_.indexOf('<', at_);
                characters(next < 0 ? text_.size() : next, false);
            }
        }
        if (!open_.empty()) throw Failure{"an element is not closed"};
        return std::move(tokens_);
    }

private:
    qsizetype after(QStringView close, qsizetype from) const {
        const qsizetype found = text_.indexOf(close, from);
        if (found < 0) throw Failure{"markup is not closed"};
        return found + close.size();
    }

    // The end of a tag: its ">", quoted attribute values read over.
    qsizetype tagEnd(qsizetype from) const {
        for (qsizetype i = from; i < text_.size(); ++i) {
            const QChar c = text_[i];
            if (c == '"' || c == '\'') {
                i = text_.indexOf(c, i + 1);
                if (i < 0) break;
            } else if (c == '>') {
                return i + 1;
            } else if (c == '<') {
                break;
            }
        }
        throw Failure{"a tag is not closed"};
    }

    // The end of a document type declaration: its ">" outside the internal subset, reading over quoted
    // literals and comments there.
    qsizetype doctypeEnd(qsizetype from) const {
        int depth = 0;
        for (qsizetype i = from; i < text_.size(); ++i) {
            const QChar c = text_[i];
            if (c == '"' || c == '\'') {
                i = text_.indexOf(c, i + 1);
                if (i < 0) break;
            } else if (QStringView(text_).sliced(i).startsWith(u"<!--")) {
                i = after(u"-->", i + 4) - 1;
            } else if (c == '[') {
                ++depth;
            } else if (c == ']') {
                --depth;
            } else if (c == '>' && depth == 0) {
                return i + 1;
            }
        }
        throw Failure{"the document type declaration is not closed"};
    }

    void markup() {
        const QStringView rest = QStringView(text_).sliced(at_);
        if (rest.startsWith(u"<!--")) return other(after(u"-->", at_ + 4));
        if (rest.startsWith(u"<?")) return other(after(u"?>", at_ + 2));
        if (rest.startsWith(u"<![CDATA[")) return characters(after(u"]]>", at_ + 9), true);
        if (rest.startsWith(u"<!")) {
            const qsizetype end = doctypeEnd(at_ + 2);
            // Attribute defaults declared here can set xml:space on elements whose tags do not say so.
            if (QStringView(text_).sliced(at_, end - at_).contains(u"xml:space"))
                throw Failure{
                    "its document type declares xml:space, which decides where white space is data"};
            return other(end);
        }
        const qsizetype end = tagEnd(at_ + 1);
        if (rest.startsWith(u"</")) return endTag(end);
        startTag(end, text_[end - 2] == '/');
    }

    void other(qsizetype end) {
        tokens_.push_back({Kind::Other, at_, end});
        at_ = end;
    }

    void characters(qsizetype end, bool data) {
        Token token{Kind::Text, at_, end};
        token.blank = !data && isBlank(QStringView(text_).sliced(at_, end - at_));
        if (!token.blank) {
            if (open_.empty()) throw Failure{"it holds text outside the document element"};
            tokens_[static_cast<std::size_t>(open_.back().token)].keepContent = true;
        }
        tokens_.push_back(token);
        at_ = end;
    }

    QStringView nameAt(qsizetype from) const {
        qsizetype end = from;
        while (end < text_.size() && !isSpace(text_[end]) && text_[end] != '>' && text_[end] != '/') ++end;
        return QStringView(text_).sliced(from, end - from);
    }

    // xml:space as the tag sets it: 1 preserve, 0 default, -1 not set.
    int spaceIn(qsizetype start, qsizetype end) const {
        const QStringView tag = QStringView(text_).sliced(start, end - start);
        qsizetype name = tag.indexOf(u"xml:space");
        while (name >= 0 && name > 0 && !isSpace(tag[name - 1])) name = tag.indexOf(u"xml:space", name + 1);
        if (name < 0) return -1;
        qsizetype quote = name + 9;
        while (quote < tag.size() && (isSpace(tag[quote]) || tag[quote] == '=')) ++quote;
        if (quote >= tag.size()) return -1;
        return tag.sliced(quote + 1).startsWith(u"preserve") ? 1 : 0;
    }

    void startTag(qsizetype end, bool empty) {
        if (open_.empty() && hasElement_) throw Failure{"it has more than one document element"};
        Token token{empty ? Kind::Empty : Kind::Start, at_, end};
        if (!empty) {
            const int space = spaceIn(at_, end);
            const bool preserve = space < 0 ? !open_.empty() && open_.back().preserve : space == 1;
            token.keepContent = preserve;
            open_.push_back({static_cast<qsizetype>(tokens_.size()), nameAt(at_ + 1), preserve});
        }
        hasElement_ = true;
        tokens_.push_back(token);
        at_ = end;
    }

    void endTag(qsizetype end) {
        if (open_.empty() || nameAt(at_ + 2) != open_.back().name) throw Failure{"its tags do not match"};
        Token token{Kind::End, at_, end};
        token.match = open_.back().token;
        open_.pop_back();
        tokens_.push_back(token);
        at_ = end;
    }

    struct Open {
        qsizetype token;
        QStringView name;
        bool preserve;
    };
    const QString& text_;
    qsizetype at_ = 0;
    bool hasElement_ = false;
    std::vector<Token> tokens_;
    std::vector<Open> open_;
};

QString indented(const QString& text, const std::vector<Token>& tokens) {
    QString out;
    out.reserve(text.size());
    // For each element being indented: whether anything of its content went on a line of its own.
    std::vector<bool> wroteContent;
    auto newLine = [&] {
        if (!wroteContent.empty()) wroteContent.back() = true;
        if (!out.isEmpty()) out += '\n' + QString(static_cast<qsizetype>(wroteContent.size()) * 2, ' ');
    };
    const auto markup = [&text](const Token& token) {
        return QStringView(text).sliced(token.start, token.end - token.start);
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        switch (token.kind) {
            case Kind::Start:
                newLine();
                if (token.keepContent) {
                    // Copied as written, up to and with its end tag.
                    std::size_t end = i + 1;
                    while (tokens[end].match != static_cast<qsizetype>(i)) ++end;
                    out += QStringView(text).sliced(token.start, tokens[end].end - token.start);
                    i = end;
                } else {
                    out += markup(token);
                    wroteContent.push_back(false);
                }
                break;
            case Kind::End: {
                const bool hadContent = wroteContent.back();
                wroteContent.pop_back();
                if (hadContent) newLine();
                out += markup(token);
                break;
            }
            // Character data outside kept content is white space between markup, which the new lines
            // replace.
            case Kind::Text:
                break;
            case Kind::Empty:
            case Kind::Other:
                newLine();
                out += markup(token);
                break;
        }
    }
    return out;
}

}  // namespace

Formatted formatXml(const QString& text) {
    try {
        return {indented(text, Tokenizer(text).run()), {}};
    } catch (const Failure& failure) {
        return {std::nullopt, "Format leaves the text as it is: " + failure.why + "."};
    }
}

std::optional<std::string> indentedXml(const std::string& text) {
    const Formatted formatted = formatXml(QString::fromStdString(text));
    if (!formatted.text) return std::nullopt;
    return formatted.text->toStdString();
}

}  // namespace ostrel::ui
