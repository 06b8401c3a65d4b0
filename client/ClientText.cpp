#include "client/ClientText.h"

#include "client/WebDAVClient.h"

namespace ostrel::client {

Error clientError(std::string source, std::string description) {
    return Error(WebDAVClient::kErrorNumber, std::move(source), std::move(description));
}

Error clientError(std::string source, std::string_view headline, std::string_view details) {
    return Error(WebDAVClient::kErrorNumber, std::move(source), headline, details);
}

std::string replaceAll(std::string text, std::string_view pattern, std::string_view replacement) {
    std::size_t pos = 0;
    while ((pos = text.find(pattern, pos)) != std::string::npos) {
        text.replace(pos, pattern.size(), replacement);
        pos += replacement.size();
    }
    return text;
}

std::string trimSpaces(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string octetCount(std::string_view body) {
    return std::to_string(body.size());
}

std::string statusInWords(int status, const std::string& reason) {
    const std::string code = "(" + std::to_string(status) + (reason.empty() ? "" : " " + reason) + ")";
    switch (status) {
        case 401:
            return "the server refused the user id or password " + code +
                   "; File > Log on again… gives it other ones";
        case 403:
            return "the server forbids this on the resource " + code;
        case 404:
            return "the server has no such resource " + code;
        case 405:
            return "the server does not allow this method on the resource " + code;
        default:
            if (status >= 500) return "the server failed to carry out the request " + code;
            return "the server answered " + code.substr(1, code.size() - 2) + " without a WebDAV reply";
    }
}

}  // namespace ostrel::client
