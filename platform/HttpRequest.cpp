#include "platform/HttpRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/TextCodec.h"

namespace ostrel {

namespace {

constexpr const char* kSource = "HttpRequest";
// Replies announce their length; reserving it up front saves copies, but a hostile Content-Length must not
// make us allocate gigabytes before a byte has arrived.
constexpr std::size_t kMaxReserve = 64u << 20;
constexpr std::size_t kDefaultMaxReply = std::size_t(512) << 20;

struct CurlFree {
    void operator()(CURL* curl) const noexcept { curl_easy_cleanup(curl); }
};
struct SlistFree {
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c != '\0' && isTokenChar(c); });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view standardReasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 101:
            return "Switching Protocols";
        case 102:
            return "Processing";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 203:
            return "Non-Authoritative Information";
        case 204:
            return "No Content";
        case 205:
            return "Reset Content";
        case 206:
            return "Partial Content";
        case 207:
            return "Multi-Status";
        case 208:
            return "Already Reported";
        case 300:
            return "Multiple Choices";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 402:
            return "Payment Required";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 406:
            return "Not Acceptable";
        case 407:
            return "Proxy Authentication Required";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 410:
            return "Gone";
        case 411:
            return "Length Required";
        case 412:
            return "Precondition Failed";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 416:
            return "Range Not Satisfiable";
        case 417:
            return "Expectation Failed";
        case 422:
            return "Unprocessable Entity";
        case 423:
            return "Locked";
        case 424:
            return "Failed Dependency";
        case 426:
            return "Upgrade Required";
        case 428:
            return "Precondition Required";
        case 429:
            return "Too Many Requests";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        case 505:
            return "HTTP Version Not Supported";
        case 507:
            return "Insufficient Storage";
        case 508:
            return "Loop Detected";
        default:
            return "";
    }
}

// What a person should read first for the transport failures a desktop user actually meets.
std::string_view plainWordsFor(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "The server's host name could not be resolved";
        case CURLE_COULDNT_CONNECT:
            return "Could not connect to the server";
        case CURLE_OPERATION_TIMEDOUT:
            return "The server did not answer in time; the request was abandoned";
        case CURLE_PARTIAL_FILE:
            return "The connection closed before the whole reply had arrived";
        case CURLE_GOT_NOTHING:
            return "The server closed the connection without sending a reply";
        case CURLE_RECV_ERROR:
            return "The connection failed while the reply was being received";
        case CURLE_SEND_ERROR:
            return "The connection failed while the request was being sent";
        case CURLE_WEIRD_SERVER_REPLY:
            return "The server's reply is not valid HTTP";
        case CURLE_PEER_FAILED_VERIFICATION:
            return "The server's certificate could not be verified";
        case CURLE_SSL_CONNECT_ERROR:
            return "The secure connection could not be established";
        case CURLE_URL_MALFORMAT:
            return "The URL is not valid";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "The URL's scheme is not supported (use http or https)";
        case CURLE_TOO_MANY_REDIRECTS:
            return "The server redirected the request too many times";
        case CURLE_LOGIN_DENIED:
            return "The server refused the user name and password";
        case CURLE_OUT_OF_MEMORY:
            return "Out of memory while receiving the reply";
        default:
            return "The request failed";
    }
}

bool isXmlMediaType(std::string_view contentType) {
    std::string type(trim(contentType.substr(0, contentType.find(';'))));
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    return type.empty() || type == "text/xml" || type == "application/xml" || type.ends_with("+xml");
}

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string encodeUrlForRequest(std::string_view url) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size() + 16);
    for (std::size_t i = 0; i < url.size(); ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        const bool existingEscape = c == '%' && i + 2 < url.size() && isHex(url[i + 1]) && isHex(url[i + 2]);
        // A request never carries a fragment, so '#' is part of a resource's name, not a cut-off point.
        const bool mayNotStand = c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr ||
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

struct HttpRequest::Impl {
    enum class State { Closed, Opened, Done };

    std::unique_ptr<CURL, CurlFree> curl;
    State state = State::Closed;
    std::string method;
    std::string url;
    std::string user;
    std::string password;
    std::vector<std::pair<std::string, std::string>> headers;
    // Kept in memory for the whole send, so the transport can send it again after a challenge or redirect.
    std::string body;

    int status = 0;
    std::string statusText;
    std::string statusLineCode;
    std::vector<std::pair<std::string, std::string>> responseHeaders;
    std::string responseBody;

    Timeouts timeouts;
    std::size_t maxReplyBytes = kDefaultMaxReply;
    bool replyTooLarge = false;
    std::string extraCaFile;
    std::string defaultCaFile;
    std::string defaultCaPath;
    long connections = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Impl() {
        initialiseCurlOnce();
        curl.reset(curl_easy_init());
        if (!curl)
            throw Error(errors::kHttpBase + CURLE_FAILED_INIT, kSource, "The HTTP transport cannot start");
    }

    void clearReply() {
        status = 0;
        replyTooLarge = false;
        statusLineCode.clear();
        statusText.clear();
        responseHeaders.clear();
        // A large reply's buffer is given back rather than kept for the life of the client.
        if (responseBody.capacity() > (std::size_t(1) << 20)) {
            std::string().swap(responseBody);
        } else {
            responseBody.clear();
        }
    }

    const std::string* header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (equalsIgnoreCase(key, name)) return &value;
        }
        return nullptr;
    }

    void requireState(State wanted, std::string_view what) const {
        if (state != wanted) {
            throw Error(errors::kHttpInvalidState, kSource,
                        std::string(what) + " is not allowed now: call open first, then send");
        }
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        const std::size_t length = size * count;
        try {
            impl->takeHeaderLine(std::string_view(data, length));
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return impl->replyTooLarge ? 0 : length;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        const std::size_t length = size * count;
        if (impl->responseBody.size() + length > impl->maxReplyBytes) {
            impl->replyTooLarge = true;
            return 0;  // stops the transfer; reported as a reply too large
        }
        try {
            impl->responseBody.append(data, length);
        } catch (const std::bad_alloc&) {
            return 0;  // makes the transport stop with a write error instead of unwinding through C code
        }
        return length;
    }

    void takeHeaderLine(std::string_view line) {
        line = trim(line);
        if (line.starts_with("HTTP/")) {
            // Each status line starts a new reply (100 Continue, a challenge or a redirect went before it).
            responseHeaders.clear();
            responseBody.clear();
            statusText.clear();
            statusLineCode.clear();
            const std::size_t codeStart = line.find(' ');
            if (codeStart == std::string_view::npos) return;
            const std::size_t reasonStart = line.find(' ', codeStart + 1);
            statusLineCode = std::string(line.substr(codeStart + 1, reasonStart == std::string_view::npos
                                                                        ? std::string_view::npos
                                                                        : reasonStart - codeStart - 1));
            if (reasonStart != std::string_view::npos)
                statusText = std::string(trim(line.substr(reasonStart + 1)));
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return;
        std::string name(trim(line.substr(0, colon)));
        std::string value(trim(line.substr(colon + 1)));
        if (equalsIgnoreCase(name, "Content-Length")) {
            std::size_t announced = 0;
            for (char c : value) {
                if (!std::isdigit(static_cast<unsigned char>(c)) || announced > maxReplyBytes) break;
                announced = announced * 10 + static_cast<std::size_t>(c - '0');
            }
            // A redirect or challenge announces the length of a body the transport will not deliver.
            const bool deliversBody = !statusLineCode.empty() && statusLineCode[0] == '2';
            if (announced > maxReplyBytes && deliversBody) replyTooLarge = true;
            responseBody.reserve(std::min(announced, kMaxReserve));
        }
        responseHeaders.emplace_back(std::move(name), std::move(value));
    }

    Slist buildHeaderList() const {
        Slist list;
        auto append = [&list](const std::string& line) {
            curl_slist* grown = curl_slist_append(list.get(), line.c_str());
            if (!grown) throw Error(errors::kHttpBase + CURLE_OUT_OF_MEMORY, kSource, "Out of memory");
            list.release();
            list.reset(grown);
        };
        for (const auto& [name, value] : headers) {
            // "Name;" is how the transport is told to send a header with an empty value.
            append(value.empty() ? name + ";" : name + ": " + value);
        }
        // The transport would otherwise add headers of its own: a form Content-Type for a body, and an
        // Expect: 100-continue that stalls against servers that ignore it.
        if (!header("Content-Type")) append("Content-Type:");
        if (!header("Expect")) append("Expect:");
        return list;
    }

    void configure(curl_slist* headerList) {
        CURL* c = curl.get();
        // Every option that can differ between requests is set again below, so nothing of the previous
        // request carries over. The handle is not reset: that would also forget the server's Digest nonce
        // and cost every request a second round trip for a fresh challenge.
        errorBuffer[0] = '\0';
        curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        // Send the path as given: a doubled slash or a dot segment is the caller's to keep.
        curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList);
        curl_easy_setopt(c, CURLOPT_USERAGENT, "OstrelWebDAV/1.0");
        // HTTP/1.1 everywhere: its status line carries the reason phrase the client reports, and lighttpd's
        // HTTP/2 over TLS loses request bodies after a Digest challenge.
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
        // Redirects keep the method and body; credentials never follow to another host or port.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
        curl_easy_setopt(c, CURLOPT_UNRESTRICTED_AUTH, 0L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>(std::max<long long>(1, timeouts.stall.count())));
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (extraCaFile.empty()) {
            curl_easy_setopt(c, CURLOPT_CAINFO, defaultCaFile.empty() ? nullptr : defaultCaFile.c_str());
            curl_easy_setopt(c, CURLOPT_CAPATH, defaultCaPath.empty() ? nullptr : defaultCaPath.c_str());
        } else {
            // The system's authorities stay trusted through the folder of certificates.
            curl_easy_setopt(c, CURLOPT_CAINFO, extraCaFile.c_str());
            curl_easy_setopt(c, CURLOPT_CAPATH,
                             defaultCaPath.empty() ? "/etc/ssl/certs" : defaultCaPath.c_str());
        }
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::onBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    }

    // Raises the transport's failure; nothing of the broken reply stays readable.
    [[noreturn]] void fail(CURLcode code) {
        const bool tooLarge = replyTooLarge;
        clearReply();
        if (tooLarge) {
            throw Error(errors::kHttpBase + static_cast<std::int32_t>(CURLE_FILESIZE_EXCEEDED), kSource,
                        "The reply is larger than the " + sizeText(maxReplyBytes) +
                            " this client accepts; the request was abandoned\r\n" + method + " " + url);
        }
        std::string description(plainWordsFor(code));
        curl_off_t connectTime = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
        if (code == CURLE_OPERATION_TIMEDOUT && connectTime == 0) {
            description = "Could not connect to the server in time";
        }
        std::string detail = errorBuffer[0] ? std::string(trim(errorBuffer)) : curl_easy_strerror(code);
        long osErrno = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &osErrno);
        if (osErrno != 0) detail += std::string(" (") + std::strerror(static_cast<int>(osErrno)) + ")";
        description += ": " + detail + "\r\n" + method + " " + url;
        throw Error(errors::kHttpBase + static_cast<std::int32_t>(code), kSource, description);
    }
};

HttpRequest::HttpRequest() : impl_(std::make_unique<Impl>()) {}
HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&& other) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&& other) noexcept = default;

void HttpRequest::open(std::string_view method, std::string_view url, bool asynchronous,
                       std::string_view user, std::string_view password) {
    Impl& d = *impl_;
    d.state = Impl::State::Closed;
    d.headers.clear();
    d.body.clear();
    d.clearReply();
    if (asynchronous) {
        throw Error(errors::kHttpInvalidState, kSource, "Asynchronous requests are not supported");
    }
    if (!isToken(method)) {
        throw Error(errors::kHttpBadHeader, kSource, "\"" + std::string(method) + "\" is not an HTTP method");
    }
    const std::string encoded = encodeUrlForRequest(url);
    const std::size_t schemeEnd = encoded.find("://");
    const std::string scheme = schemeEnd == std::string::npos ? std::string() : encoded.substr(0, schemeEnd);
    if (!equalsIgnoreCase(scheme, "http") && !equalsIgnoreCase(scheme, "https")) {
        throw Error(errors::kHttpBadUrl, kSource,
                    "The URL \"" + std::string(url) + "\" is not an absolute http:// or https:// URL");
    }
    d.method = method;
    d.url = encoded;
    d.user = user;
    d.password = password;
    d.state = Impl::State::Opened;
}

void HttpRequest::setRequestHeader(std::string_view name, std::string_view value) {
    Impl& d = *impl_;
    d.requireState(Impl::State::Opened, "setRequestHeader");
    if (!isToken(name)) {
        throw Error(errors::kHttpBadHeader, kSource,
                    "The header name \"" + text::toValidUtf8(name) + "\" is not allowed in a request");
    }
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        throw Error(errors::kHttpBadHeader, kSource,
                    "The value of header \"" + std::string(name) +
                        "\" contains a line break; it was refused so that no header can be injected");
    }
    for (auto& [key, existing] : d.headers) {
        if (equalsIgnoreCase(key, name)) {
            existing = value;
            return;
        }
    }
    d.headers.emplace_back(name, value);
}

void HttpRequest::send(std::string_view body) {
    Impl& d = *impl_;
    d.requireState(Impl::State::Opened, "send");
    if (const std::string* length = d.header("Content-Length")) {
        if (trim(*length) != std::to_string(body.size())) {
            throw Error(errors::kHttpBadHeader, kSource,
                        "Content-Length \"" + *length + "\" does not match the " +
                            std::to_string(body.size()) + " octets of the body");
        }
    }
    d.body = body;
    d.clearReply();
    Slist headerList = d.buildHeaderList();
    d.configure(headerList.get());
    const CURLcode code = curl_easy_perform(d.curl.get());
    long newConnections = 0;
    curl_easy_getinfo(d.curl.get(), CURLINFO_NUM_CONNECTS, &newConnections);
    d.connections += newConnections;
    d.state = Impl::State::Closed;
    if (code != CURLE_OK) d.fail(code);
    long status = 0;
    curl_easy_getinfo(d.curl.get(), CURLINFO_RESPONSE_CODE, &status);
    d.status = static_cast<int>(status);
    if (d.statusText.empty()) d.statusText = standardReasonPhrase(d.status);
    d.state = Impl::State::Done;
}

int HttpRequest::status() const {
    impl_->requireState(Impl::State::Done, "status");
    return impl_->status;
}

std::string HttpRequest::statusText() const {
    impl_->requireState(Impl::State::Done, "statusText");
    return impl_->statusText;
}

std::string HttpRequest::responseText() const {
    impl_->requireState(Impl::State::Done, "responseText");
    return text::decodeToUtf8(impl_->responseBody, text::charsetOf(getResponseHeader("Content-Type")));
}

std::string HttpRequest::responseTextForError() const {
    impl_->requireState(Impl::State::Done, "responseTextForError");
    constexpr std::size_t kShown = std::size_t(64) << 10;
    const std::string_view body = impl_->responseBody;
    const std::string charset = text::charsetOf(getResponseHeader("Content-Type"));
    if (body.size() <= kShown) return text::decodeToUtf8(body, charset);
    return text::decodeToUtf8(body.substr(0, kShown), charset) + "\xE2\x80\xA6 (" +
           std::to_string(body.size() - kShown) + " more octets)";
}

XmlDocument HttpRequest::responseXML() const {
    impl_->requireState(Impl::State::Done, "responseXML");
    // A page labelled as HTML or plain text is not an XML reply, even when it happens to be well-formed
    // (Apache's "201 Created" page is): only XML media types, or a body without a label, are parsed.
    if (!isXmlMediaType(getResponseHeader("Content-Type"))) return XmlDocument();
    return XmlDocument::fromBytes(impl_->responseBody);
}

std::string_view HttpRequest::responseBody() const {
    impl_->requireState(Impl::State::Done, "responseBody");
    return impl_->responseBody;
}

std::string HttpRequest::getResponseHeader(std::string_view name) const {
    for (const auto& [key, value] : impl_->responseHeaders) {
        if (equalsIgnoreCase(key, name)) return value;
    }
    return {};
}

void HttpRequest::setTimeouts(const Timeouts& timeouts) {
    impl_->timeouts = timeouts;
}

void HttpRequest::setMaxReplyBytes(std::size_t bytes) {
    impl_->maxReplyBytes = bytes;
}

void HttpRequest::setExtraCaFile(std::string path) {
    impl_->extraCaFile = std::move(path);
}

long HttpRequest::connectionsOpened() const {
    return impl_->connections;
}

}  // namespace ostrel
