#include "platform/Url.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>

#include "platform/HttpText.h"

namespace ostrel {

namespace {

struct UrlFree {
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};

std::string urlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

}  // namespace

std::string encodeUrlForRequest(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size() + 16);
    for (std::size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        const bool existingEscape =
            c == '%' && i + 2 < url.size() && http::isHex(url[i + 1]) && http::isHex(url[i + 2]);
        // A resource path carries neither a fragment nor a query: '#' and '?' are part of a resource's name.
        const bool mayNotStand = c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}#?", c) != nullptr ||
                                 (c == '%' && !existingEscape);
        if (mayNotStand) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace url {

bool isHttp(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    const std::string_view scheme =
        schemeEnd == std::string_view::npos ? std::string_view() : url.substr(0, schemeEnd);
    return http::equalsIgnoreCase(scheme, "http") || http::equalsIgnoreCase(scheme, "https");
}

std::string_view serverOf(std::string_view url) {
    const std::size_t authority = url.find("://");
    return url.substr(0, url.find('/', authority == std::string_view::npos ? 0 : authority + 3));
}

std::optional<Origin> originOf(const std::string& base, const std::string& reference) {
    std::unique_ptr<CURLU, UrlFree> url(curl_url());
    constexpr unsigned int kLenient = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE | CURLU_URLENCODE;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), kLenient) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), kLenient) != CURLUE_OK) {
        return std::nullopt;
    }
    return Origin{urlPart(url.get(), CURLUPART_SCHEME), urlPart(url.get(), CURLUPART_HOST),
                  urlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT)};
}

bool isSameServer(const Origin& from, const Origin& to) {
    if (!http::equalsIgnoreCase(from.host, to.host)) return false;
    const bool upgrade =
        http::equalsIgnoreCase(from.scheme, "http") && http::equalsIgnoreCase(to.scheme, "https");
    return upgrade || (http::equalsIgnoreCase(from.scheme, to.scheme) && from.port == to.port);
}

bool staysOnServer(const std::string& requestUrl, const std::string& currentUrl,
                   const std::string& location) {
    const auto from = originOf(requestUrl, requestUrl);
    const auto to = originOf(currentUrl, location);
    return from && to && isSameServer(*from, *to);
}

}  // namespace url
}  // namespace ostrel
