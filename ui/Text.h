#pragma once

#include <string>
#include <string_view>

// Small text rules the windows share. Comparisons are on octets; "no case" folds ASCII letters only, which
// is all that markup and the program's own words need.
namespace ostrel::ui {

inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The text without leading and trailing blanks (spaces only, as the resource field is judged).
std::string trimBlanks(std::string_view text);
std::string lowerCase(std::string_view text);
bool containsNoCase(std::string_view text, std::string_view part);

}  // namespace ostrel::ui
