#pragma once

#include <QString>

#include <optional>

namespace ostrel::ui {

// The text of an XML document indented for reading: each element, comment and processing instruction of
// element-only content on a line of its own, two spaces a level. Only white space between markup changes;
// the markup itself stays as written. An element holding text of its own (mixed content) and an element
// under xml:space="preserve" keep their content exactly as it is, since white space there is data. Nothing
// for a text that is not well-formed.
std::optional<QString> formatXml(const QString& text);

}  // namespace ostrel::ui
