#include "ui/Text.h"

#include <algorithm>

namespace ostrel::ui {

std::string trimBlanks(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return std::string(text.substr(begin, text.find_last_not_of(' ') - begin + 1));
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return lower;
}

bool containsNoCase(std::string_view text, std::string_view part) {
    return contains(lowerCase(text), lowerCase(part));
}

}  // namespace ostrel::ui
