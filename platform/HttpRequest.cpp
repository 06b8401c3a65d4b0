#include "platform/HttpRequest.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Certificates.h"
#include "platform/Error.h"
#include "platform/ExchangeRecorder.h"
#include "platform/HttpText.h"
#include "platform/Redaction.h"
#include "platform/TextCodec.h"

namespace ostrel {

namespace {

using http::equalsIgnoreCase;
using http::isToken;
using http::standardReasonPhrase;
using http::statusLineOf;
using http::trim;

constexpr const char* kSource = "HttpRequest";
// Replies announce their length; reserving it up front saves copies, but a hostile Content-Length must not
// make us allocate gigabytes before a byte has arrived.
constexpr std::size_t kMaxReserve = 64u << 20;
constexpr std::size_t kDefaultMaxReply = std::size_t(512) << 20;
// An error description quotes at most this much of a reply.
constexpr std::size_t kMaxQuotedReply = std::size_t(64) << 10;

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

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw std::ios_base::failure(path);
    return content;
}

}  // namespace

struct HttpRequest::Impl {
    enum class State { Closed, Opened, Done };

    std::unique_ptr<CURL, CurlFree> curl;
    State state = State::Closed;
    std::string method;
    std::string url;
    std::string shownUrl;  // the URL without its user information, for errors and the progress shown
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
    BodyReader* bodyReader = nullptr;

    // Why this object stopped the transfer itself (a reply too large, a transfer coding, a redirect away).
    std::optional<Error> refusal;
    bool digestChallenged = false;  // a reply of the current transfer asked for Digest
    // What the transport keeps of the authentication between transfers, and for whom: the server (scheme
    // and authority, as written in the request URL), the user id and the password it was asked for with.
    // nonceHeld tells whether that state holds a Digest nonce: once a challenge brought one, the transport
    // answers with it until it is reset, whatever became of the transfer that brought it.
    std::string authOrigin;
    std::string authUser;
    std::string authPassword;
    bool nonceHeld = false;

    Timeouts timeouts;
    std::size_t maxReplyBytes = kDefaultMaxReply;
    std::string extraCaFile;
    // The public key trusted for an endpoint ("host:port"), in place of the authorities.
    std::map<std::string, std::string, std::less<>> pins;
    // libcurl's defaults, read once: the handle is reused and must find its way back to them.
    std::string defaultCaFile;
    std::string defaultCaPath;
    // The default bundle and the extra authorities in one PEM text, made at the first request that needs it.
    std::string caBundle;
    long connections = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // Shared with the thread that watches or cancels the transfer.
    std::atomic<bool> cancelled{false};
    std::atomic<long long> sent{0}, toSend{0}, received{0}, toReceive{0};
    mutable std::mutex liveMutex;  // guards socket, liveMethod and liveUrl
    curl_socket_t socket = CURL_SOCKET_BAD;
    std::string liveMethod;
    std::string liveUrl;

    ExchangeRecorder recorder;  // the round trips, while an observer is attached

    Impl() {
        initialiseCurlOnce();
        curl.reset(curl_easy_init());
        if (!curl)
            throw Error(errors::kHttpBase + CURLE_FAILED_INIT, kSource, "The HTTP transport cannot start");
        char* path = nullptr;
        if (curl_easy_getinfo(curl.get(), CURLINFO_CAINFO, &path) == CURLE_OK && path) defaultCaFile = path;
        path = nullptr;
        if (curl_easy_getinfo(curl.get(), CURLINFO_CAPATH, &path) == CURLE_OK && path) defaultCaPath = path;
    }

    void clearReply() {
        status = 0;
        refusal.reset();
        digestChallenged = false;
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

    // Stops the transfer from within a callback: returning 0 makes the transport end it.
    std::size_t refuse(std::int32_t number, std::string description) {
        description += "\r\n" + method + " " + shownUrl;
        redaction::hideUserInfo(description);  // a Location it quotes may carry credentials too
        refusal.emplace(number, kSource, std::move(description));
        return 0;
    }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        const std::size_t length = size * count;
        try {
            impl->takeHeaderLine(std::string_view(data, length));
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return impl->refusal ? 0 : length;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        const std::size_t length = size * count;
        try {
            if (impl->responseBody.size() + length > impl->maxReplyBytes) return impl->refuseTooLarge();
            impl->responseBody.append(data, length);
            if (impl->bodyReader) impl->bodyReader->read(std::string_view(data, length));
            if (impl->recorder.observer()) impl->recorder.replyBody(std::string_view(data, length));
        } catch (const std::bad_alloc&) {
            return 0;  // makes the transport stop with a write error instead of unwinding through C code
        }
        return length;
    }

    std::size_t refuseTooLarge() {
        return refuse(errors::kHttpBase + static_cast<std::int32_t>(CURLE_FILESIZE_EXCEEDED),
                      "The reply is larger than the " + http::sizeText(maxReplyBytes) +
                          " this client accepts; the request was abandoned");
    }

    static int onProgress(void* self, curl_off_t toReceive, curl_off_t received, curl_off_t toSend,
                          curl_off_t sent) {
        auto* impl = static_cast<Impl*>(self);
        impl->toReceive = toReceive;
        impl->received = received;
        impl->toSend = toSend;
        impl->sent = sent;
        return impl->cancelled ? 1 : 0;
    }

    // The transport opens and closes its sockets through these two, so that a cancel from another thread
    // can shut the connection down: a transfer waiting for a stalled server only notices a cancel flag about
    // once a second, a shut-down socket at once.
    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
        auto* impl = static_cast<Impl*>(self);
        const curl_socket_t fd =
            ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        std::lock_guard lock(impl->liveMutex);
        impl->socket = fd;
        if (fd != CURL_SOCKET_BAD && impl->cancelled) ::shutdown(fd, SHUT_RDWR);
        return fd;
    }

    static int onCloseSocket(void* self, curl_socket_t fd) {
        auto* impl = static_cast<Impl*>(self);
        std::lock_guard lock(impl->liveMutex);
        if (impl->socket == fd) impl->socket = CURL_SOCKET_BAD;
        return ::close(fd);
    }

    // The transport shows what goes out and comes in here, while an observer is attached.
    static int onWire(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
        try {
            static_cast<Impl*>(self)->recordWire(type, std::string_view(data, size));
        } catch (...) {
            // The log is a bystander: nothing it fails at may unwind through the transport or stop the
            // request.
        }
        return 0;
    }

    void recordWire(curl_infotype type, std::string_view data) {
        switch (type) {
            case CURLINFO_HEADER_OUT:
                return recorder.requestHeader(data, effectiveUrl());
            case CURLINFO_DATA_OUT:
                return recorder.requestBody(data);
            case CURLINFO_HEADER_IN:
                return recorder.replyHeader(data);
            case CURLINFO_DATA_IN:
                return recorder.replyOctets(data.size());
            default:
                return;
        }
    }

    // The URL the transfer is at now: the request's, or where a redirect led.
    std::string effectiveUrl() const {
        char* current = nullptr;
        curl_easy_getinfo(curl.get(), CURLINFO_EFFECTIVE_URL, &current);
        return current ? current : url;
    }

    std::string failureText(CURLcode code) const {
        if (cancelled) return "Cancelled";
        if (refusal) return refusal->description().substr(0, refusal->description().find('\r'));
        return std::string(http::plainWordsFor(code)) + ": " +
               (errorBuffer[0] ? std::string(trim(errorBuffer)) : curl_easy_strerror(code));
    }

    void takeHeaderLine(std::string_view line) {
        line = trim(line);
        if (auto parsed = statusLineOf(line)) {
            // Each status line starts a new reply (100 Continue, a challenge or a redirect went before it).
            responseHeaders.clear();
            responseBody.clear();
            statusLineCode = std::move(parsed->code);
            statusText = std::move(parsed->reason);
            if (bodyReader) bodyReader->restart();
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return;
        std::string name(trim(line.substr(0, colon)));
        std::string value(trim(line.substr(colon + 1)));
        if (equalsIgnoreCase(name, "Content-Length")) takeAnnouncedLength(value);
        if (equalsIgnoreCase(name, "Location")) checkRedirect(value);
        if (equalsIgnoreCase(name, "WWW-Authenticate") && value.size() >= 6 &&
            equalsIgnoreCase(std::string_view(value).substr(0, 6), "Digest")) {
            digestChallenged = true;
        }
        // Only chunked framing is ever expected: the request asks for no other coding, and decoding one
        // (gzip) would let a small reply grow to the size cap.
        if (equalsIgnoreCase(name, "Transfer-Encoding") && !http::isOnlyChunked(value)) {
            refuse(errors::kHttpRefusedReply, "The server sent its reply in the transfer coding \"" +
                                                  text::toValidUtf8(value) +
                                                  "\", which this client never asked for");
        }
        responseHeaders.emplace_back(std::move(name), std::move(value));
    }

    void takeAnnouncedLength(std::string_view value) {
        std::size_t announced = 0;
        for (char c : value) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || announced > maxReplyBytes) break;
            announced = announced * 10 + static_cast<std::size_t>(c - '0');
        }
        // A redirect or challenge announces the length of a body the transport will not deliver.
        const bool deliversBody = !statusLineCode.empty() && statusLineCode[0] == '2';
        if (announced > maxReplyBytes && deliversBody) refuseTooLarge();
        responseBody.reserve(std::min(announced, kMaxReserve));
    }

    // A redirect is followed only within the server the request was opened on: a body, a lock token or a
    // query must not reach a server the user never named.
    void checkRedirect(const std::string& location) {
        if (statusLineCode.size() != 3 || statusLineCode[0] != '3' || statusLineCode == "304") return;
        const auto from = http::originOf(url, url);
        const auto to = http::originOf(effectiveUrl(), location);
        if (from && to && http::isSameServer(*from, *to)) return;
        refuse(errors::kHttpRedirectElsewhere, "The server redirected the request to another server, " +
                                                   text::toValidUtf8(location) + "; it was not followed");
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

    // libcurl's own authorities stay in force; extra ones are added to them, never put in their place.
    void configureAuthorities() {
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_CAINFO, defaultCaFile.empty() ? nullptr : defaultCaFile.c_str());
        curl_easy_setopt(c, CURLOPT_CAPATH, defaultCaPath.empty() ? nullptr : defaultCaPath.c_str());
        if (extraCaFile.empty()) {
            curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, nullptr);
            return;
        }
        // An in-memory bundle replaces the default file (not the default folder), so it carries both.
        if (caBundle.empty()) {
            try {
                caBundle = (defaultCaFile.empty() ? std::string() : readFile(defaultCaFile) + "\n") +
                           readFile(extraCaFile);
            } catch (const std::ios_base::failure&) {
                throw Error(errors::kHttpBase + static_cast<std::int32_t>(CURLE_SSL_CACERT_BADFILE), kSource,
                            "The certificate authorities in \"" + extraCaFile + "\" could not be read");
            }
        }
        curl_blob blob{caBundle.data(), caBundle.size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &blob);
    }

    // A pinned key is the user's own decision about this server's certificate: the transport checks it on
    // every connection, so the authorities and the name in the certificate have nothing to add.
    void configureTrust() {
        CURL* c = curl.get();
        const std::optional<certificates::Endpoint> endpoint = certificates::httpsEndpoint(url);
        const auto pinned = endpoint ? pins.find(endpoint->key()) : pins.end();
        const bool usePin = pinned != pins.end();
        curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, usePin ? pinned->second.c_str() : nullptr);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, usePin ? 0L : 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, usePin ? 0L : 2L);
        configureAuthorities();
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
        curl_easy_setopt(c, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        // A reply to HEAD announces a body it never sends (RFC 9110, 9.3.2): waiting for it would stall.
        if (method == "HEAD") curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headerList);
        curl_easy_setopt(c, CURLOPT_USERAGENT, "OstrelWebDAV/1.0");
        // HTTP/1.1 everywhere: its status line carries the reason phrase the client reports, and lighttpd's
        // HTTP/2 over TLS loses request bodies after a Digest challenge.
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
        // Redirects keep the method and body. checkRedirect stops any that leaves the server, so the
        // credentials may follow the ones that stay, an upgrade from http to https included.
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
        curl_easy_setopt(c, CURLOPT_UNRESTRICTED_AUTH, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                         static_cast<long>(std::max<long long>(1, timeouts.stall.count())));
        configureTrust();
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Impl::onBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &Impl::onOpenSocket);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &Impl::onCloseSocket);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
        // The transport reports the wire only in verbose mode; its own text goes to onWire, not to stderr.
        const bool recording = recorder.observer() != nullptr;
        curl_easy_setopt(c, CURLOPT_VERBOSE, recording ? 1L : 0L);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, recording ? &Impl::onWire : nullptr);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
    }

    CURLcode perform(curl_slist* headerList) {
        clearReply();
        configure(headerList);
        const bool recording = recorder.observer() != nullptr;
        if (recording) recorder.begin(method, url, user);
        const CURLcode code = curl_easy_perform(curl.get());
        long newConnections = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_NUM_CONNECTS, &newConnections);
        connections += newConnections;
        if (recording) recorder.finish(code == CURLE_OK ? std::string() : failureText(code));
        return code;
    }

    long responseCode() const {
        long code = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    // The transport answers a server it has authenticated with at once, in the scheme it learnt, and
    // Digest with the nonce it kept. Those answers belong to the server, user and password they were made
    // for: another server (or a new user id or password) starts with none and gets credentials only after
    // it asks for them. Spelling the same server differently costs one challenge, nothing more.
    void forgetAuthenticationElsewhere() {
        const std::size_t authority = url.find("://");
        const std::string_view origin = std::string_view(url).substr(
            0, url.find('/', authority == std::string::npos ? 0 : authority + 3));
        if (origin == authOrigin && user == authUser && password == authPassword) return;
        forgetAuthentication();
        authOrigin = origin;
        authUser = user;
        authPassword = password;
    }

    void forgetAuthentication() {
        curl_easy_reset(curl.get());  // the connections stay open; every option is set again by configure
        nonceHeld = false;
    }

    // A server that has forgotten the nonce the transport kept (it restarted, or another one answers under
    // the same name) answers it with a fresh challenge without stale=true, which the transport takes for a
    // refusal. Only a fresh handshake tells that from a wrong password, so it is tried once. Whether the
    // request went out with a kept nonce is known before it starts, so a cancelled or failed transfer
    // cannot leave the next one without its second try.
    CURLcode performAuthenticated(curl_slist* headerList) {
        forgetAuthenticationElsewhere();
        const bool reusedNonce = nonceHeld;
        CURLcode code = perform(headerList);
        nonceHeld = nonceHeld || digestChallenged;
        if (code == CURLE_OK && reusedNonce && responseCode() == 401 && digestChallenged) {
            forgetAuthentication();
            code = perform(headerList);
            nonceHeld = digestChallenged;
        }
        return code;
    }

    // Raises the transport's failure; nothing of the broken reply stays readable.
    [[noreturn]] void fail(CURLcode code) {
        std::optional<Error> refused = std::move(refusal);
        const bool askedForAuthentication = statusLineCode == "401";
        clearReply();
        if (cancelled)
            throw Error(errors::kHttpCancelled, kSource, "Cancelled\r\n" + method + " " + shownUrl);
        if (refused) throw std::move(*refused);
        std::string description(http::plainWordsFor(code));
        curl_off_t connectTime = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
        if (code == CURLE_OPERATION_TIMEDOUT && connectTime == 0) {
            description = "Could not connect to the server in time";
        }
        // The transport's own words say where it failed, except where they would mislead: a header too
        // large is "Out of memory" to it, and a challenge answered again and again counts as a redirect.
        bool withDetail = code != CURLE_OUT_OF_MEMORY;
        if (code == CURLE_TOO_MANY_REDIRECTS && askedForAuthentication) {
            description = "The server kept asking for authentication";
            withDetail = false;
        }
        if (withDetail) {
            description +=
                ": " + (errorBuffer[0] ? std::string(trim(errorBuffer)) : curl_easy_strerror(code));
        }
        // The transport keeps the system's error of the last failed connection, also across requests.
        long osErrno = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &osErrno);
        if (osErrno != 0 && code == CURLE_COULDNT_CONNECT)
            description += std::string(" (") + std::strerror(static_cast<int>(osErrno)) + ")";
        description += "\r\n" + method + " " + shownUrl;
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
    d.bodyReader = nullptr;
    d.clearReply();
    if (asynchronous) {
        throw Error(errors::kHttpInvalidState, kSource, "Asynchronous requests are not supported");
    }
    if (!isToken(method)) {
        throw Error(errors::kHttpBadHeader, kSource, "\"" + std::string(method) + "\" is not an HTTP method");
    }
    checkCredentials(user, password);
    const std::string encoded = encodeUrlForRequest(url);
    const std::size_t schemeEnd = encoded.find("://");
    const std::string scheme = schemeEnd == std::string::npos ? std::string() : encoded.substr(0, schemeEnd);
    if (!equalsIgnoreCase(scheme, "http") && !equalsIgnoreCase(scheme, "https")) {
        throw Error(errors::kHttpBadUrl, kSource,
                    "The URL \"" + std::string(url) + "\" is not an absolute http:// or https:// URL");
    }
    d.method = method;
    d.url = encoded;
    d.shownUrl = encoded;
    redaction::hideUserInfo(d.shownUrl);
    {
        std::lock_guard lock(d.liveMutex);
        d.liveMethod = d.method;
        d.liveUrl = d.shownUrl;
    }
    d.sent = d.toSend = d.received = d.toReceive = 0;
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
    Slist headerList = d.buildHeaderList();
    const CURLcode code = d.performAuthenticated(headerList.get());
    d.state = Impl::State::Closed;
    if (code != CURLE_OK) d.fail(code);
    d.status = static_cast<int>(d.responseCode());
    if (d.statusText.empty()) d.statusText = standardReasonPhrase(d.status);
    d.state = Impl::State::Done;
}

void HttpRequest::readBodyWith(BodyReader* reader) {
    impl_->bodyReader = reader;
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
    return http::quotedBody(impl_->responseBody, getResponseHeader("Content-Type"), kMaxQuotedReply);
}

XmlDocument HttpRequest::responseXML() const {
    impl_->requireState(Impl::State::Done, "responseXML");
    return http::xmlBody(impl_->responseBody, getResponseHeader("Content-Type"));
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

void HttpRequest::pinPublicKey(const std::string& endpoint, std::string pin) {
    if (pin.empty()) {
        impl_->pins.erase(endpoint);
    } else {
        impl_->pins[endpoint] = std::move(pin);
    }
}

void HttpRequest::setExtraCaFile(std::string path) {
    impl_->extraCaFile = std::move(path);
    impl_->caBundle.clear();
}

HttpRequest::Progress HttpRequest::progress() const {
    const Impl& d = *impl_;
    Progress progress{.sent = d.sent, .toSend = d.toSend, .received = d.received, .toReceive = d.toReceive};
    std::lock_guard lock(d.liveMutex);
    progress.method = d.liveMethod;
    progress.url = d.liveUrl;
    return progress;
}

void HttpRequest::cancel() {
    Impl& d = *impl_;
    d.cancelled = true;
    std::lock_guard lock(d.liveMutex);
    if (d.socket != CURL_SOCKET_BAD) ::shutdown(d.socket, SHUT_RDWR);
}

void HttpRequest::clearCancel() {
    impl_->cancelled = false;
}

void HttpRequest::setExchangeObserver(ExchangeObserver* observer) {
    impl_->recorder.setObserver(observer);
}

long HttpRequest::connectionsOpened() const {
    return impl_->connections;
}

std::string httpLibraryVersion() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && info->version ? info->version : "";
}

}  // namespace ostrel
