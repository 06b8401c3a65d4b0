#pragma once

#include <QString>

#include <optional>
#include <string>

namespace ostrel::ui {

// What Format makes of a text: the text indented, or, where it cannot be indented without changing what the
// document says, why not.
struct Formatted {
    std::optional<QString> text;
    QString why;  // in words, when there is no text
};

// The text of an XML document indented for reading: each element, comment and processing instruction of
// element-only content on a line of its own, two spaces a level. Only white space between markup changes;
// the markup itself stays as written: references are never resolved, attributes and declarations (the
// encoding named included) keep their text. An element holding text of its own (mixed content, a reference,
// a CDATA section) and an element under xml:space="preserve" keep their content exactly as it is, since
// white space there is data.
//
// The text is read by its markup alone, without a parser: it is never expanded or fetched, and a cut or
// broken text is refused rather than guessed at.
Formatted formatXml(const QString& text);
// formatXml for UTF-8 text: the indented text, or nothing where it cannot be indented.
std::optional<std::string> indentedXml(const std::string& text);

}  // namespace ostrel::ui
