#include "platform/HttpRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/Authentication.h"
#include "platform/Error.h"
#include "platform/ExchangeRecorder.h"
#include "platform/HttpReply.h"
#include "platform/HttpText.h"
#include "platform/Redaction.h"
#include "platform/RequestHeaders.h"
#include "platform/TextCodec.h"
#include "platform/TransferWatch.h"
#include "platform/TransportErrors.h"
#include "platform/Trust.h"
#include "platform/Url.h"

namespace ostrel {

namespace {

using http::isToken;
using http::standardReasonPhrase;

constexpr const char* kSource = "HttpRequest";
// An error description quotes at most this much of a reply.
constexpr std::size_t kMaxQuotedReply = std::size_t(64) << 10;
constexpr long kReceiveBuffer = 256L << 10;

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
    http::RequestHeaders headers;
    // Kept in memory for the whole send, so the transport can send it again after a challenge or redirect.
    std::string body;

    // What has arrived; it also knows why this object stopped a transfer itself (a reply too large, a
    // transfer coding, a redirect away).
    http::ReplyReader reply;
    int status = 0;
    std::string statusText;
    http::AuthenticationMemory authentication;

    Timeouts timeouts;
    certificates::Trust trust;
    long connections = 0;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    TransferWatch watch;  // shared with the thread that watches or cancels the transfer

    ExchangeRecorder recorder;  // the round trips, while an observer is attached

    Impl() {
        initialiseCurlOnce();
        curl.reset(curl_easy_init());
        if (!curl)
            throw Error(errors::kHttpBase + CURLE_FAILED_INIT, kSource, "The HTTP transport cannot start");
        char* caFile = nullptr;
        char* caPath = nullptr;
        if (curl_easy_getinfo(curl.get(), CURLINFO_CAINFO, &caFile) != CURLE_OK) caFile = nullptr;
        if (curl_easy_getinfo(curl.get(), CURLINFO_CAPATH, &caPath) != CURLE_OK) caPath = nullptr;
        trust.setDefaults(caFile ? caFile : "", caPath ? caPath : "");
    }

    void clearReply() {
        status = 0;
        statusText.clear();
        reply.clear();
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
            impl->reply.takeHeaderLine(std::string_view(data, length), impl->url, impl->whereNow());
        } catch (const std::bad_alloc&) {
            return 0;
        }
        // Returning less than was handed over makes the transport stop the transfer.
        return impl->reply.refusal() ? 0 : length;
    }

    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto* impl = static_cast<Impl*>(self);
        const std::size_t length = size * count;
        try {
            if (!impl->reply.takeBody(std::string_view(data, length))) return 0;
            if (impl->recorder.recordsWire()) impl->recorder.replyBody(std::string_view(data, length));
        } catch (const std::bad_alloc&) {
            return 0;  // makes the transport stop with a write error instead of unwinding through C code
        }
        return length;
    }

    static int onProgress(void* self, curl_off_t toReceive, curl_off_t received, curl_off_t toSend,
                          curl_off_t sent) {
        return static_cast<Impl*>(self)->watch.progressed(sent, toSend, received, toReceive) ? 0 : 1;
    }

    static curl_socket_t onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
        return static_cast<Impl*>(self)->watch.openSocket(address->family, address->socktype,
                                                          address->protocol);
    }

    static int onCloseSocket(void* self, curl_socket_t fd) {
        return static_cast<Impl*>(self)->watch.closeSocket(fd);
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
                return recorder.requestHeader(data, std::string(whereNow()));
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
    std::string_view whereNow() const {
        char* current = nullptr;
        curl_easy_getinfo(curl.get(), CURLINFO_EFFECTIVE_URL, &current);
        return current ? std::string_view(current) : std::string_view(url);
    }

    std::string failureText(CURLcode code) const {
        if (watch.cancelled()) return "Cancelled";
        if (const auto& refusal = reply.refusal()) return refusal->description;
        return transport::brief(code, errorBuffer);
    }

    Slist buildHeaderList() const {
        Slist list;
        for (const std::string& line : headers.transportLines()) {
            curl_slist* grown = curl_slist_append(list.get(), line.c_str());
            if (!grown) throw Error(errors::kHttpBase + CURLE_OUT_OF_MEMORY, kSource, "Out of memory");
            list.release();
            list.reset(grown);
        }
        return list;
    }

    // libcurl's own authorities stay in force; extra ones are added to them, never put in their place.
    void configureAuthorities() {
        CURL* c = curl.get();
        const std::string& caFile = trust.defaultCaFile();
        const std::string& caPath = trust.defaultCaPath();
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.empty() ? nullptr : caFile.c_str());
        curl_easy_setopt(c, CURLOPT_CAPATH, caPath.empty() ? nullptr : caPath.c_str());
        // An in-memory bundle replaces the default file (not the default folder), so it carries both.
        const std::string* bundle = trust.bundle();
        if (!bundle) {
            curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, nullptr);
            return;
        }
        // The transport only reads a blob it does not copy.
        curl_blob blob{const_cast<char*>(bundle->data()), bundle->size(), CURL_BLOB_NOCOPY};
        curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &blob);
    }

    // A pinned key is the user's own decision about this server's certificate: the transport checks it on
    // every connection, so the authorities and the name in the certificate have nothing to add.
    void configureTrust() {
        CURL* c = curl.get();
        const std::string* pin = trust.pinFor(url);
        curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, pin ? pin->c_str() : nullptr);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, pin ? 0L : 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, pin ? 0L : 2L);
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
        // A large reply is handed over in large pieces: each piece costs a read from the socket and a turn
        // of the parser that takes it (see BodySink).
        curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBuffer);
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &Impl::onOpenSocket);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &Impl::onCloseSocket);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
        // The transport reports the wire only in verbose mode; its own text goes to onWire, not to stderr.
        const bool recording = recorder.recordsWire();
        curl_easy_setopt(c, CURLOPT_VERBOSE, recording ? 1L : 0L);
        curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, recording ? &Impl::onWire : nullptr);
        curl_easy_setopt(c, CURLOPT_DEBUGDATA, this);
    }

    CURLcode perform(curl_slist* headerList) {
        clearReply();
        recorder.begin(method, url, user);
        configure(headerList);
        const CURLcode code = curl_easy_perform(curl.get());
        long newConnections = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_NUM_CONNECTS, &newConnections);
        connections += newConnections;
        if (recorder.recording()) finishRecord(code == CURLE_OK ? std::string() : failureText(code));
        return code;
    }

    // Without the wire, the transfer is summed up from what the transport counted over all its round trips.
    void finishRecord(std::string failure) {
        if (recorder.recordsWire()) return recorder.finish(std::move(failure));
        long headersOut = 0;
        long headersIn = 0;
        curl_off_t bodyOut = 0;
        curl_off_t bodyIn = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_REQUEST_SIZE, &headersOut);
        curl_easy_getinfo(curl.get(), CURLINFO_HEADER_SIZE, &headersIn);
        curl_easy_getinfo(curl.get(), CURLINFO_SIZE_UPLOAD_T, &bodyOut);
        curl_easy_getinfo(curl.get(), CURLINFO_SIZE_DOWNLOAD_T, &bodyIn);
        recorder.finishSummary(std::move(failure), {.status = static_cast<int>(responseCode()),
                                                    .reason = reply.reason(),
                                                    .octetsOut = headersOut + bodyOut,
                                                    .octetsIn = headersIn + bodyIn,
                                                    .bodyOutSize = static_cast<long long>(body.size()),
                                                    .bodyInSize = static_cast<long long>(reply.bodySize())});
    }

    long responseCode() const {
        long code = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

    void forgetAuthentication() {
        curl_easy_reset(curl.get());  // the connections stay open; every option is set again by configure
        authentication.forgotten();
    }

    CURLcode performAuthenticated(curl_slist* headerList) {
        if (authentication.mustForgetFor(url, user, password)) forgetAuthentication();
        const bool reusedNonce = authentication.nonceHeld();
        CURLcode code = perform(headerList);
        authentication.transferred(reply.digestChallenged());
        if (code == CURLE_OK &&
            authentication.worthFreshHandshake(reusedNonce, responseCode(), reply.digestChallenged())) {
            forgetAuthentication();
            code = perform(headerList);
            authentication.transferred(reply.digestChallenged());
        }
        return code;
    }

    // Raises the transport's failure; nothing of the broken reply stays readable.
    [[noreturn]] void fail(CURLcode code) {
        std::optional<http::ReplyReader::Refusal> refused = reply.refusal();
        const bool askedForAuthentication = reply.statusCode() == "401";
        clearReply();
        // The details name the request as the log shows it, without credentials.
        const std::string request = method + " " + shownUrl;
        if (watch.cancelled()) throw Error(errors::kHttpCancelled, kSource, "Cancelled", request);
        if (refused) throw Error(refused->number, kSource, refused->description, request);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_CONNECT_TIME_T, &connectTime);
        long systemError = 0;
        curl_easy_getinfo(curl.get(), CURLINFO_OS_ERRNO, &systemError);
        std::string description = transport::describe({.code = code,
                                                       .detail = errorBuffer,
                                                       .connected = connectTime != 0,
                                                       .askedForAuthentication = askedForAuthentication,
                                                       .systemError = systemError});
        throw Error(transport::errorNumber(code), kSource, description, request);
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
    d.reply.setBodySink(nullptr, 0);
    d.clearReply();
    if (asynchronous) {
        throw Error(errors::kHttpInvalidState, kSource, "Asynchronous requests are not supported");
    }
    if (!isToken(method)) {
        throw Error(errors::kHttpBadHeader, kSource, "\"" + std::string(method) + "\" is not an HTTP method");
    }
    checkCredentials(user, password);
    const std::string encoded = encodeUrlForRequest(url);
    if (!url::isHttp(encoded)) {
        throw Error(errors::kHttpBadUrl, kSource,
                    "The URL \"" + std::string(url) + "\" is not an absolute http:// or https:// URL");
    }
    d.method = method;
    d.url = encoded;
    d.shownUrl = encoded;
    redaction::hideUserInfo(d.shownUrl);
    d.watch.begin(d.method, d.shownUrl);
    d.user = user;
    d.password = password;
    d.state = Impl::State::Opened;
}

void HttpRequest::setRequestHeader(std::string_view name, std::string_view value) {
    Impl& d = *impl_;
    d.requireState(Impl::State::Opened, "setRequestHeader");
    d.headers.set(name, value);
}

void HttpRequest::readBodyWith(BodySink* sink, Keep keep) {
    impl_->requireState(Impl::State::Opened, "readBodyWith");
    // The cut between two characters looks at the octets just past the limit.
    impl_->reply.setBodySink(sink, keep == Keep::Whole ? SIZE_MAX : kMaxQuotedReply + 4);
}

void HttpRequest::send(std::string_view body) {
    Impl& d = *impl_;
    d.requireState(Impl::State::Opened, "send");
    d.headers.checkLength(body.size());
    d.body = body;
    Slist headerList = d.buildHeaderList();
    const CURLcode code = d.performAuthenticated(headerList.get());
    d.state = Impl::State::Closed;
    if (code != CURLE_OK) d.fail(code);
    d.status = static_cast<int>(d.responseCode());
    d.statusText = d.reply.reason().empty() ? std::string(standardReasonPhrase(d.status)) : d.reply.reason();
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
    return text::decodeToUtf8(impl_->reply.body(), text::charsetOf(getResponseHeader("Content-Type")));
}

std::string HttpRequest::responseTextForError() const {
    impl_->requireState(Impl::State::Done, "responseTextForError");
    return http::quotedBody(impl_->reply.body(), impl_->reply.bodySize(), getResponseHeader("Content-Type"),
                            kMaxQuotedReply);
}

XmlDocument HttpRequest::responseXML() const {
    impl_->requireState(Impl::State::Done, "responseXML");
    return http::xmlBody(impl_->reply.body(), impl_->status, getResponseHeader("Content-Type"));
}

std::string_view HttpRequest::responseBody() const {
    impl_->requireState(Impl::State::Done, "responseBody");
    return impl_->reply.body();
}

std::string HttpRequest::getResponseHeader(std::string_view name) const {
    const std::string* value = impl_->reply.header(name);
    return value ? *value : std::string();
}

void HttpRequest::setTimeouts(const Timeouts& timeouts) {
    impl_->timeouts = timeouts;
}

void HttpRequest::setMaxReplyBytes(std::size_t bytes) {
    impl_->reply.setMaxBytes(bytes);
}

void HttpRequest::pinPublicKey(const std::string& endpoint, std::string pin) {
    impl_->trust.pin(endpoint, std::move(pin));
}

void HttpRequest::setExtraCaFile(std::string path) {
    impl_->trust.setExtraCaFile(std::move(path));
}

HttpRequest::Progress HttpRequest::progress() const {
    return impl_->watch.progress();
}

void HttpRequest::cancel() {
    impl_->watch.cancel();
}

void HttpRequest::clearCancel() {
    impl_->watch.clearCancel();
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
