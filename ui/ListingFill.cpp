#include "ui/ListingFill.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

#include "ui/Browsing.h"

namespace ostrel::ui {

namespace {

// Often enough to look like growth, seldom enough that laying out a long list again stays cheap.
constexpr int kBatchMs = 100;
constexpr std::size_t kMergeAtLeast = 4096;

QStringList rowsOf(const std::vector<std::string>& entries) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries) rows << QString::fromStdString(entry);
    return rows;
}

}  // namespace

ListingFill::ListingFill(QListWidget& list, std::string field) : list_(list), field_(std::move(field)) {
    QObject::connect(&batches_, &QTimer::timeout, [this] { showArrived(); });
    batches_.start(kBatchMs);
}

ListingFill::~ListingFill() {
    if (before_ && !shown_) {
        replaceRows(*before_);
        const QSignalBlocker quiet(list_);
        list_.setCurrentRow(currentBefore_);
    }
}

void ListingFill::restart() {
    entries_.clear();
    sorted_.clear();
    sortedUpTo_ = 0;
    std::lock_guard lock(mutex_);
    arrived_.clear();
    restarted_ = true;
}

void ListingFill::member(CollectionMember member) {
    std::optional<std::string> entry = browsing::entryOf(field_, member);
    if (!entry) return;
    {
        std::lock_guard lock(mutex_);
        arrived_.push_back(*entry);
    }
    entries_.push_back(std::move(*entry));
    // Each merge goes over everything sorted so far: waiting until what came since is half as many keeps all
    // merges together to about twice the entries, and leaves at most a third to sort at the end.
    if (entries_.size() - sortedUpTo_ >= std::max<std::size_t>(kMergeAtLeast, sortedUpTo_ / 2)) sortArrived();
}

void ListingFill::complete() {
    sortArrived();
}

void ListingFill::sortArrived() {
    const auto before = [this](std::size_t a, std::size_t b) {
        return browsing::sortsBefore(entries_[a], entries_[b]);
    };
    const auto merged = static_cast<std::ptrdiff_t>(sorted_.size());
    for (std::size_t i = sortedUpTo_; i < entries_.size(); ++i) sorted_.push_back(i);
    std::sort(sorted_.begin() + merged, sorted_.end(), before);
    std::inplace_merge(sorted_.begin(), sorted_.begin() + merged, sorted_.end(), before);
    sortedUpTo_ = entries_.size();
}

void ListingFill::show() {
    batches_.stop();
    if (before_) showArrived();
    if (before_ && list_.count() == static_cast<int>(sorted_.size())) {
        // The rows hold the entries in the order they came: each row takes the text that sorts into its
        // place.
        QStringList came;
        came.reserve(list_.count());
        for (int row = 0; row < list_.count(); ++row) came << list_.item(row)->text();
        const QSignalBlocker quiet(list_);
        for (std::size_t row = 0; row < sorted_.size(); ++row)
            list_.item(static_cast<int>(row))->setText(came[static_cast<qsizetype>(sorted_[row])]);
    } else {
        QStringList rows;
        rows.reserve(static_cast<qsizetype>(sorted_.size()));
        for (const std::size_t i : sorted_) rows << QString::fromStdString(entries_[i]);
        replaceRows(rows);
    }
    const QSignalBlocker quiet(list_);
    list_.setCurrentRow(-1);
    shown_ = true;
}

void ListingFill::showArrived() {
    std::vector<std::string> batch;
    bool restarted = false;
    {
        std::lock_guard lock(mutex_);
        batch.swap(arrived_);
        restarted = std::exchange(restarted_, false);
    }
    if (restarted && before_) replaceRows({});
    if (batch.empty()) return;
    if (!before_) {
        before_.emplace();
        for (int row = 0; row < list_.count(); ++row) *before_ << list_.item(row)->text();
        currentBefore_ = list_.currentRow();
        replaceRows({});
    }
    const QSignalBlocker quiet(list_);
    list_.addItems(rowsOf(batch));
}

void ListingFill::replaceRows(const QStringList& rows) {
    const QSignalBlocker quiet(list_);
    list_.clear();
    list_.addItems(rows);
}

}  // namespace ostrel::ui
