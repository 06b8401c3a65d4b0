#include "platform/HttpReply.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/BodySink.h"
#include "platform/Error.h"
#include "platform/HttpText.h"
#include "platform/Redaction.h"
#include "platform/TextCodec.h"
#include "platform/TransportErrors.h"
#include "platform/Url.h"

namespace ostrel::http {

namespace {

// Replies announce their length; reserving it up front saves copies, but a hostile Content-Length must not
// make us allocate gigabytes before a byte has arrived.
constexpr std::size_t kMaxReserve = 64u << 20;

}  // namespace

void ReplyReader::clear() {
    refusal_.reset();
    digestChallenged_ = false;
    statusCode_.clear();
    reason_.clear();
    headers_.clear();
    bodySize_ = 0;
    sinkBegun_ = false;
    // A large reply's buffer is given back rather than kept for the life of the client.
    if (body_.capacity() > (std::size_t(1) << 20)) {
        body_.release();
    } else {
        body_.clear();
    }
}

const std::string* ReplyReader::header(std::string_view name) const {
    for (const auto& [key, value] : headers_) {
        if (equalsIgnoreCase(key, name)) return &value;
    }
    return nullptr;
}

void ReplyReader::refuse(std::int32_t number, std::string description) {
    redaction::hideUserInfo(description);  // a Location it quotes may carry credentials too
    refusal_.emplace(Refusal{number, std::move(description)});
}

void ReplyReader::refuseTooLarge() {
    refuse(transport::kReplyTooLarge, "The reply is larger than the " + sizeText(maxBytes_) +
                                          " this client accepts; the request was abandoned");
}

void ReplyReader::beginSink() {
    if (sinkBegun_) return;
    sinkBegun_ = true;
    const std::string* contentType = header("Content-Type");
    sink_->begin(std::atoi(statusCode_.c_str()),
                 contentType ? std::string_view(*contentType) : std::string_view());
}

void ReplyReader::setBodySink(BodySink* sink, std::size_t keptStart) {
    sink_ = sink;
    keptStart_ = keptStart;
}

bool ReplyReader::takeBody(std::string_view piece) {
    if (bodySize_ + piece.size() > maxBytes_) {
        refuseTooLarge();
        return false;
    }
    bodySize_ += piece.size();
    if (!sink_) {
        body_.append(piece);
        return true;
    }
    if (body_.size() < keptStart_) body_.append(piece.substr(0, keptStart_ - body_.size()));
    beginSink();
    sink_->take(piece);
    return true;
}

void ReplyReader::takeHeaderLine(std::string_view line, const std::string& requestUrl,
                                 std::string_view currentUrl) {
    line = trim(line);
    if (auto parsed = statusLineOf(line)) {
        // Each status line starts a new reply (100 Continue, a challenge or a redirect went before it).
        headers_.clear();
        body_.clear();
        bodySize_ = 0;
        sinkBegun_ = false;
        statusCode_ = std::move(parsed->code);
        reason_ = std::move(parsed->reason);
        return;
    }
    // The blank line ends a reply's header; trailers after a chunked body end with one too.
    if (line.empty() && sink_) beginSink();
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return;
    std::string name(trim(line.substr(0, colon)));
    std::string value(trim(line.substr(colon + 1)));
    if (equalsIgnoreCase(name, "Content-Length")) takeAnnouncedLength(value);
    if (equalsIgnoreCase(name, "Location")) checkRedirect(value, requestUrl, currentUrl);
    if (equalsIgnoreCase(name, "WWW-Authenticate") && value.size() >= 6 &&
        equalsIgnoreCase(std::string_view(value).substr(0, 6), "Digest")) {
        digestChallenged_ = true;
    }
    // Only chunked framing is ever expected: the request asks for no other coding, and decoding one
    // (gzip) would let a small reply grow to the size cap.
    if (equalsIgnoreCase(name, "Transfer-Encoding") && !isOnlyChunked(value)) {
        refuse(errors::kHttpRefusedReply, "The server sent its reply in the transfer coding \"" +
                                              text::toValidUtf8(value) +
                                              "\", which this client never asked for");
    }
    headers_.emplace_back(std::move(name), std::move(value));
}

void ReplyReader::takeAnnouncedLength(std::string_view value) {
    std::size_t announced = 0;
    for (char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || announced > maxBytes_) break;
        announced = announced * 10 + static_cast<std::size_t>(c - '0');
    }
    // A redirect or challenge announces the length of a body the transport will not deliver.
    const bool deliversBody = !statusCode_.empty() && statusCode_[0] == '2';
    if (announced > maxBytes_ && deliversBody) refuseTooLarge();
    // Only what is kept is reserved; a start a sink leaves grows as pieces come.
    if (!sink_ || announced <= keptStart_) body_.reserve(std::min(announced, kMaxReserve));
}

// A redirect is followed only within the server the request was opened on: a body, a lock token or a
// query must not reach a server the user never named.
void ReplyReader::checkRedirect(const std::string& location, const std::string& requestUrl,
                                std::string_view currentUrl) {
    if (statusCode_.size() != 3 || statusCode_[0] != '3' || statusCode_ == "304") return;
    if (url::staysOnServer(requestUrl, std::string(currentUrl), location)) return;
    refuse(errors::kHttpRedirectElsewhere, "The server redirected the request to another server, " +
                                               text::toValidUtf8(location) + "; it was not followed");
}

}  // namespace ostrel::http
