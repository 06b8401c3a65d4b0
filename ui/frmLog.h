#pragma once

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <optional>

#include "platform/ExchangeLog.h"
#include "platform/Toolkit.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace ostrel::ui {

// The protocol log's window: the exchanges an ExchangeLog keeps, newest last, each with its request and reply
// as they went over the wire (credentials already hidden by the request object, by where they stand; a line
// under the list says which). Showing the window the first time has the log record whole exchanges from
// then on. The list learns of new exchanges on the user-interface thread, at most one update queued at a
// time however fast they come, and only while it is shown.
class frmLog : public QWidget {
    Q_OBJECT
public:
    // The log must outlive the window.
    frmLog(Toolkit& toolkit, ExchangeLog& log, QWidget* parent = nullptr);
    ~frmLog() override;

    // Writes the exchanges kept (all of them, or those the filter lets through) as text, readable by the
    // user alone (0600); raises an Error when the file cannot be written.
    void saveTo(const QString& path);

private slots:
    void filterChanged();
    void selectionChanged();
    void saveClicked();
    void copyCurlClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showNew();
    bool passes(const Exchange& exchange) const;
    // The number in the log of the exchange the selected row shows; nothing when no row is selected.
    std::optional<std::uint64_t> selectedNumber() const;

    Toolkit& toolkit_;
    ExchangeLog& log_;
    std::atomic<bool> showPending_{false};
    std::uint64_t firstShown_ = 0;  // the number of the exchange in the list's first row
    QLineEdit* filter_;
    QPushButton* save_;
    QPushButton* copyCurl_;
    QCheckBox* searchBodies_;
    QCheckBox* indentXml_;
    QTreeWidget* list_;
    QPlainTextEdit* details_;
    QLabel* hiding_;
};

// What the log hides, in the words the window shows under the exchanges.
inline constexpr const char* kHidingText =
    "Hidden: the values of Authorization, Proxy-Authorization, Cookie and Set-Cookie, the user information "
    "of "
    "URLs, and echoes of the Authorization values sent.";

}  // namespace ostrel::ui
