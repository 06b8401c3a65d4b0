#include "ui/JobProgress.h"

#include <utility>

#include "platform/Error.h"

namespace ostrel::ui {

namespace {
constexpr const char* kSource = "JobProgress";
}  // namespace

void JobProgress::begin(Describe describe, Stop stop) {
    std::lock_guard lock(mutex_);
    if (cancelled_) raiseCancelled();
    describe_ = std::move(describe);
    stop_ = std::move(stop);
}

void JobProgress::stopIfCancelled() const {
    std::lock_guard lock(mutex_);
    if (cancelled_) raiseCancelled();
}

void JobProgress::withholdCancel() {
    std::lock_guard lock(mutex_);
    withheld_ = true;
    cancelled_ = false;
}

JobProgress::Report JobProgress::report() const {
    std::lock_guard lock(mutex_);
    Report report = describe_ ? describe_() : Report{};
    report.cancellable = !withheld_;
    return report;
}

void JobProgress::cancel() {
    std::lock_guard lock(mutex_);
    if (withheld_) return;
    cancelled_ = true;
    if (stop_) stop_();
}

void JobProgress::raiseCancelled() const {
    // The details name the step the Cancel came in, as a cancelled request's name the request.
    const std::string what = describe_ ? describe_().what : std::string();
    if (what.empty()) throw Error(errors::kHttpCancelled, kSource, "Cancelled");
    throw Error(errors::kHttpCancelled, kSource, "Cancelled", what);
}

}  // namespace ostrel::ui
