#pragma once

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ExchangeLog.h"
#include "platform/Toolkit.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace ostrel::ui {

// The protocol log: the last exchanges with the server, newest last, each with its request and reply as they
// went over the wire (credentials already hidden by the request object, by where they stand; a line under the
// list says which). The request object reports on the thread that runs the request, where the exchange is
// only stored; the list learns of new exchanges on the user-interface thread, at most one update queued at a
// time however fast they come.
class frmLog : public QWidget, public ExchangeObserver {
    Q_OBJECT
public:
    explicit frmLog(Toolkit& toolkit, QWidget* parent = nullptr);

    // Any thread: stores the exchange and has the list updated.
    void exchanged(Exchange& exchange) override;
    // Copies of the exchanges kept, oldest first.
    std::vector<Exchange> exchanges() const { return log_.kept(); }
    // Writes the exchanges kept (all of them, or those the filter lets through) as text, readable by the
    // user alone (0600); raises an Error when the file cannot be written.
    void saveTo(const QString& path);

private slots:
    void filterChanged();
    void selectionChanged();
    void saveClicked();
    void copyCurlClicked();

private:
    void showNew();
    bool passes(const Exchange& exchange) const;
    // The number in the log of the exchange the selected row shows; nothing when no row is selected.
    std::optional<std::uint64_t> selectedNumber() const;

    Toolkit& toolkit_;
    ExchangeLog log_;
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

// An exchange as readable text: a summary line, the request's headers and body, the reply's headers and body.
// A body is shown as it was sent or received, its octets decoded for reading; nothing in it is parsed or
// resolved. With indentXml, a body that is a whole XML document is indented for reading (see formatXml).
std::string exchangeText(const Exchange& exchange, bool indentXml);
// A curl command line that sends the same request: its method, URL, headers and body, with "-u user" and
// no password (curl asks for it), and no Authorization header.
std::string curlCommand(const Exchange& exchange);

}  // namespace ostrel::ui
