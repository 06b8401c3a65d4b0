#include "platform/Redaction.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/HttpText.h"

namespace ostrel::redaction {

namespace {

using http::equalsIgnoreCase;
using http::trim;

bool isAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Headers whose whole value is a credential: the request's answers to a challenge, and a session's cookies,
// which are as good as a password while they last.
bool isHiddenHeader(std::string_view name) {
    for (const std::string_view hidden : {"Authorization", "Proxy-Authorization", "Cookie", "Set-Cookie"}) {
        if (equalsIgnoreCase(name, hidden)) return true;
    }
    return false;
}

bool isSentCredential(std::string_view name) {
    return equalsIgnoreCase(name, "Authorization") || equalsIgnoreCase(name, "Proxy-Authorization");
}

std::string_view lineEndOf(std::string_view line) {
    if (line.ends_with("\r\n")) return "\r\n";
    return line.ends_with('\n') ? "\n" : "";
}

// Where the authority of a URL starting at start ends (RFC 3986: at "/", "?" or "#"), or where the text
// around the URL ends it: white space, quotes and angle brackets. A "#" of a character reference ("&#39;")
// in XML text is part of it.
std::size_t authorityEnd(std::string_view text, std::size_t start) {
    for (std::size_t i = start; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || std::strchr("/?\\<>\"`", c) != nullptr) return i;
        if (c == '#' && !(i > start && text[i - 1] == '&')) return i;
    }
    return text.size();
}

bool isSchemeChar(char c) {
    return isAlnum(c) || c == '+' || c == '-' || c == '.';
}

// The unreserved characters of URLs (RFC 3986), which percent-encoding leaves as they are: ASCII's letters
// and digits, whatever the locale, and "-._~".
bool isPlain(char c) {
    const auto u = static_cast<unsigned char>(c);
    return ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Made for an Authorization value sent while the log records whole exchanges: one pass into room made once.
std::string percentEncoded(std::string_view text, const char* hex) {
    std::string encoded(text.size() * 3, '\0');
    std::size_t length = 0;
    for (const char c : text) {
        if (isPlain(c)) {
            encoded[length++] = c;
        } else {
            const auto u = static_cast<unsigned char>(c);
            encoded[length++] = '%';
            encoded[length++] = hex[u >> 4];
            encoded[length++] = hex[u & 0x0F];
        }
    }
    encoded.resize(length);
    return encoded;
}

std::string xmlEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 2);
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// The response of a Digest answer (RFC 7616: response="hex"), the part that proves the password.
std::optional<std::string_view> digestResponse(std::string_view value) {
    for (std::size_t at = 0; at < value.size(); ++at) {
        const std::string_view rest = value.substr(at);
        const bool starts = at == 0 || value[at - 1] == ' ' || value[at - 1] == ',' || value[at - 1] == '\t';
        if (!starts || rest.size() < 9 || !equalsIgnoreCase(rest.substr(0, 9), "response=")) continue;
        std::string_view response = rest.substr(9);
        if (response.starts_with('"')) {
            response.remove_prefix(1);
            return response.substr(0, response.find('"'));
        }
        return trim(response.substr(0, response.find(',')));
    }
    return std::nullopt;
}

// What of an Authorization value a server may echo: the whole value, its credential (the token after the
// scheme) and a Digest answer's response; each empty where the value has none.
struct CredentialParts {
    std::string_view value, credential, response;
    std::array<std::string_view, 3> all() const { return {value, credential, response}; }
};

CredentialParts credentialParts(std::string_view sent) {
    CredentialParts parts;
    parts.value = trim(sent);
    const std::size_t space = parts.value.find(' ');
    if (space != std::string_view::npos) parts.credential = trim(parts.value.substr(space + 1));
    parts.response = digestResponse(parts.value).value_or(std::string_view());
    return parts;
}

// The longest run of characters that percent-encoding and XML escaping leave as they are: it stands in every
// form of the part. Empty when the part has none, which every text is taken to hold.
std::string_view plainRun(std::string_view part) {
    std::string_view longest;
    for (std::size_t at = 0; at < part.size();) {
        std::size_t end = at;
        while (end < part.size() && isPlain(part[end])) ++end;
        if (end - at > longest.size()) longest = part.substr(at, end - at);
        at = end + 1;
    }
    return longest;
}

// The first place from from on where form stands on its own: not inside a longer run of letters and
// digits, so that a short credential never cuts a word of a document apart.
std::size_t findStandalone(std::string_view text, std::string_view form, std::size_t from) {
    for (std::size_t at = text.find(form, from); at != std::string_view::npos; at = text.find(form, at + 1)) {
        const bool joinedBefore = at > 0 && isAlnum(form.front()) && isAlnum(text[at - 1]);
        const std::size_t end = at + form.size();
        const bool joinedAfter = end < text.size() && isAlnum(form.back()) && isAlnum(text[end]);
        if (!joinedBefore && !joinedAfter) return at;
    }
    return std::string_view::npos;
}

// The credentials of Authorization values sent, in every form in which a server echoes them: the whole value
// and its credential (the token after the scheme, a Digest response), each as sent, percent-encoded and
// escaped as XML text. Every form of a part holds each plain run of it, so a text without the run holds no
// echo; most hold none, so the forms (made anew for every Digest answer) are made only for a text that may.
// The run looked for is the response where a Digest answer's part holds it: a challenge repeats the nonce
// and Apache's Authentication-Info the cnonce, but nothing repeats the response.
class Echoes {
public:
    // The values must outlive the object.
    explicit Echoes(const std::vector<std::string>& sentValues) : sent_(sentValues) {
        for (const std::string& value : sent_) {
            const CredentialParts parts = credentialParts(value);
            const std::string_view response = plainRun(parts.response);
            for (const std::string_view part : parts.all()) {
                if (part.empty()) continue;
                const bool holdsResponse = !response.empty() && part.find(response) != std::string_view::npos;
                runs_.push_back(holdsResponse ? response : plainRun(part));
            }
        }
    }

    // Replaces each echo standing on its own (not inside a longer word) by "[hidden]".
    void hideIn(std::string& text) {
        const auto heldIn = [&text](std::string_view run) { return text.find(run) != std::string::npos; };
        if (std::none_of(runs_.begin(), runs_.end(), heldIn)) return;
        if (forms_.empty()) makeForms();
        std::string out;
        std::size_t copied = 0;
        for (;;) {
            std::size_t at = std::string::npos;
            std::size_t length = 0;
            for (const std::string& form : forms_) {
                const std::size_t found = findStandalone(text, form, copied);
                if (found < at || (found == at && form.size() > length)) {
                    at = found;
                    length = form.size();
                }
            }
            if (at == std::string::npos) break;
            out.append(text, copied, at - copied).append(kHidden);
            copied = at + length;
        }
        if (copied == 0) return;
        out.append(text, copied);
        text = std::move(out);
    }

private:
    void makeForms() {
        for (const std::string& value : sent_) {
            for (const std::string_view part : credentialParts(value).all()) {
                if (part.empty()) continue;
                forms_.emplace_back(part);
                forms_.push_back(percentEncoded(part, "0123456789ABCDEF"));
                forms_.push_back(percentEncoded(part, "0123456789abcdef"));
                forms_.push_back(xmlEscaped(part));
            }
        }
        std::sort(forms_.begin(), forms_.end());
        forms_.erase(std::unique(forms_.begin(), forms_.end()), forms_.end());
    }

    const std::vector<std::string>& sent_;
    std::vector<std::string_view> runs_;  // in sent_
    std::vector<std::string> forms_;
};

}  // namespace

void hideHeaderValues(std::string& block, std::vector<std::string>* sent) {
    std::string out;
    std::size_t copied = 0;  // octets of block already in out
    bool hiding = false;     // the line before was a hidden value, whose continuation lines go with it
    bool sending = false;
    for (std::size_t start = 0; start < block.size();) {
        const std::size_t newline = block.find('\n', start);
        const std::size_t next = newline == std::string::npos ? block.size() : newline + 1;
        const std::string_view line = std::string_view(block).substr(start, next - start);
        const bool continuation = line.starts_with(' ') || line.starts_with('\t');
        if (continuation && hiding) {
            if (sending) sent->back().append(" ").append(trim(line));
            out.append(block, copied, start - copied);
            copied = next;
        } else {
            hiding = false;
            const std::size_t colon = continuation ? std::string_view::npos : line.find(':');
            const std::string_view name = colon == std::string_view::npos ? "" : trim(line.substr(0, colon));
            if (isHiddenHeader(name)) {
                hiding = true;
                sending = sent && isSentCredential(name);
                if (sending) sent->emplace_back(trim(line.substr(colon + 1)));
                out.append(block, copied, start + colon - copied).append(": ").append(kHidden);
                out.append(lineEndOf(line));
                copied = next;
            }
        }
        start = next;
    }
    if (copied == 0) return;
    out.append(block, copied);
    block = std::move(out);
}

void hideUserInfo(std::string& text) {
    // User information ends at an '@'; most texts (bodies above all) hold none, and one look for it is far
    // cheaper than weighing every "://".
    if (text.find('@') == std::string::npos) return;
    std::string out;
    std::size_t copied = 0;
    for (std::size_t mark = text.find("://"); mark != std::string::npos; mark = text.find("://", mark + 3)) {
        if (mark == 0 || !isSchemeChar(text[mark - 1])) continue;
        const std::size_t start = mark + 3;
        const std::string_view authority =
            std::string_view(text).substr(start, authorityEnd(text, start) - start);
        const std::size_t at = authority.rfind('@');
        if (at == std::string_view::npos) continue;
        out.append(text, copied, start - copied).append(kHidden);
        copied = start + at;
    }
    if (copied == 0) return;
    out.append(text, copied);
    text = std::move(out);
}

void hideCredentials(Exchange& e, std::vector<std::string>& sent) {
    sent.clear();
    hideHeaderValues(e.headersOut, &sent);
    hideHeaderValues(e.headersIn);
    for (std::string* text : {&e.url, &e.headersOut, &e.headersIn, &e.bodyOut, &e.bodyIn, &e.failure})
        hideUserInfo(*text);
    // A server may echo what it was sent: a debugging page, a header of its own, a link.
    if (sent.empty()) return;
    Echoes echoes(sent);
    for (std::string* text : {&e.url, &e.headersIn, &e.bodyOut, &e.bodyIn, &e.failure}) echoes.hideIn(*text);
}

}  // namespace ostrel::redaction
