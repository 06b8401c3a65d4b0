#pragma once

#include <QWidget>

#include <deque>
#include <string>

#include "platform/Exchange.h"
#include "platform/Toolkit.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace ostrel::ui {

// The protocol log: the last exchanges with the server, newest last, each with its request and reply as they
// went over the wire (credentials already hidden by the request object). The request object reports on the
// thread that runs the request; each exchange is handed to the user-interface thread before any widget sees
// it.
class frmLog : public QWidget, public ExchangeObserver {
    Q_OBJECT
public:
    static constexpr std::size_t kKept = 1000;

    explicit frmLog(Toolkit& toolkit, QWidget* parent = nullptr);

    // Any thread: queues the exchange for the window.
    void exchanged(const Exchange& exchange) override;
    // The exchanges kept, oldest first.
    const std::deque<Exchange>& exchanges() const { return exchanges_; }
    // Writes the exchanges the list shows (all of them, or those the filter lets through) as text; raises an
    // Error when the file cannot be written.
    void saveTo(const QString& path);

private slots:
    void filterChanged();
    void selectionChanged();
    void saveClicked();
    void copyCurlClicked();

private:
    void add(Exchange exchange);
    bool passes(const Exchange& exchange) const;
    int selectedIndex() const;

    Toolkit& toolkit_;
    std::deque<Exchange> exchanges_;
    QLineEdit* filter_;
    QPushButton* save_;
    QPushButton* copyCurl_;
    QTreeWidget* list_;
    QPlainTextEdit* details_;
};

// An exchange as readable text: a summary line, the request's headers and body, the reply's headers and body.
// Bodies in XML are shown indented when prettyXml is set.
std::string exchangeText(const Exchange& exchange, bool prettyXml);
// A curl command line that sends the same request: its method, URL, headers and body, with "-u user" and
// no password (curl asks for it), and no Authorization header.
std::string curlCommand(const Exchange& exchange);

}  // namespace ostrel::ui
