#pragma once

#include <QStringList>
#include <QTimer>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "client/Listing.h"

class QListWidget;

namespace ostrel::ui {

// Fills the main window's list while "Get resources" reads its reply. The worker thread that reads it tells
// each member as it comes; the list shows the entries in batches, in the order they came, so that it paints
// while it grows; at the end it holds exactly the listing, sorted. A listing that fails leaves the list as it
// was before the command.
class ListingFill final : public MemberReceiver {
public:
    ListingFill(QListWidget& list, std::string field);
    ~ListingFill() override;
    ListingFill(const ListingFill&) = delete;
    ListingFill& operator=(const ListingFill&) = delete;

    // On the worker thread; complete once the reply has been read.
    void restart() override;
    void member(CollectionMember member) override;
    void complete();

    // On the user-interface thread, once the worker is done: the list shows the listing.
    void show();

private:
    void sortArrived();
    void showArrived();
    void replaceRows(const QStringList& rows);

    QListWidget& list_;
    const std::string field_;
    QTimer batches_;
    std::mutex mutex_;
    std::vector<std::string> arrived_;  // guarded by mutex_: not shown yet
    bool restarted_ = false;            // guarded by mutex_: the rows shown no longer count
    // The worker's own: the entries in the order they came, and the positions of the first sortedUpTo_ of
    // them in sorted order. Sorting goes on while the reply arrives, so that little is left once it is in.
    std::vector<std::string> entries_;
    std::vector<std::size_t> sorted_;
    std::size_t sortedUpTo_ = 0;
    // The list before its rows were first replaced, to go back to when the listing fails.
    std::optional<QStringList> before_;
    int currentBefore_ = -1;
    bool shown_ = false;
};

}  // namespace ostrel::ui
