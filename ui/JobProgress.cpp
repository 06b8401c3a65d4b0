#include "ui/JobProgress.h"

#include <utility>

#include "platform/Error.h"

namespace ostrel::ui {

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
    const std::string what = describe_ ? describe_().what : std::string();
    throw Error(errors::kHttpCancelled, "JobProgress", what.empty() ? "Cancelled" : "Cancelled\r\n" + what);
}

}  // namespace ostrel::ui
