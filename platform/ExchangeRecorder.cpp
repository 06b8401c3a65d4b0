#include "platform/ExchangeRecorder.h"

#include <cstdlib>

#include "platform/HttpText.h"
#include "platform/Redaction.h"

namespace ostrel {

namespace {

void appendUpTo(std::string& text, std::string_view data, std::size_t limit) {
    if (text.size() < limit) text.append(data.substr(0, limit - text.size()));
}

}  // namespace

void ExchangeRecorder::begin(std::string_view method, std::string_view url, std::string_view user) {
    mode_ = !observer_ ? Mode::Off : observer_->wantsWholeExchanges() ? Mode::Whole : Mode::Summary;
    if (mode_ == Mode::Off) return;
    method_ = method;
    user_ = user;
    clear();
    exchange_.url = url;
}

void ExchangeRecorder::clear() {
    Exchange& e = exchange_;
    for (std::string* text :
         {&e.url, &e.user, &e.reason, &e.headersOut, &e.headersIn, &e.bodyOut, &e.bodyIn, &e.failure})
        text->clear();
    e.status = 0;
    e.summary = false;
    e.octetsOut = e.octetsIn = e.bodyOutSize = e.bodyInSize = 0;
    e.time = std::chrono::system_clock::now();
    start_ = std::chrono::steady_clock::now();
    e.method = method_;
}

void ExchangeRecorder::requestHeader(std::string_view data, std::string url) {
    if (!exchange_.headersOut.empty()) {
        finish({});
        clear();
    }
    exchange_.url = std::move(url);
    exchange_.headersOut.append(data);
    exchange_.octetsOut += static_cast<long long>(data.size());
}

void ExchangeRecorder::requestBody(std::string_view data) {
    appendUpTo(exchange_.bodyOut, data, Exchange::kMaxBody);
    exchange_.bodyOutSize += static_cast<long long>(data.size());
    exchange_.octetsOut += static_cast<long long>(data.size());
}

void ExchangeRecorder::replyHeader(std::string_view data) {
    if (const auto parsed = http::statusLineOf(data)) {
        exchange_.status = std::atoi(parsed->code.c_str());
        exchange_.reason = parsed->reason;
    }
    exchange_.headersIn.append(data);
    exchange_.octetsIn += static_cast<long long>(data.size());
}

void ExchangeRecorder::replyOctets(std::size_t octets) {
    exchange_.octetsIn += static_cast<long long>(octets);
}

void ExchangeRecorder::replyBody(std::string_view data) {
    appendUpTo(exchange_.bodyIn, data, Exchange::kMaxBody);
    exchange_.bodyInSize += static_cast<long long>(data.size());
}

// Every secret is hidden before the observer sees the exchange: no copy holding one is ever made.
void ExchangeRecorder::finish(std::string failure) {
    Exchange& e = exchange_;
    e.duration =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_);
    if (e.reason.empty()) e.reason = http::standardReasonPhrase(e.status);
    e.failure = std::move(failure);
    e.user = user_;
    redaction::hideCredentials(e, sentCredentials_);
    try {
        observer_->exchanged(e);
    } catch (...) {
        // The log is a bystander: a failing log never fails the request.
    }
}

void ExchangeRecorder::finishSummary(std::string failure, const Totals& totals) {
    Exchange& e = exchange_;
    e.summary = true;
    e.status = totals.status;
    e.reason = totals.reason;
    e.octetsOut = totals.octetsOut;
    e.octetsIn = totals.octetsIn;
    e.bodyOutSize = totals.bodyOutSize;
    e.bodyInSize = totals.bodyInSize;
    finish(std::move(failure));
}

}  // namespace ostrel
