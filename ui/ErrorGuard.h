#pragma once

#include <QApplication>

#include <functional>
#include <string>

#include "platform/Error.h"
#include "platform/Toolkit.h"

namespace ostrel::ui {

inline constexpr const char* kAppTitle = "Ostrel WebDAV";

// What a message box shows of an error: the number, the source and the description's first line as its
// text; the rest of the description (a server's reply after the first CR LF) as its details, an HTML page
// reduced to the words a person reads.
struct ErrorMessage {
    std::string text;
    std::string details;
};

// Every window handler runs under this guard: an error it raises stops the handler at the failing step, is
// reported in a message box and the program goes on. Nothing is thrown back into the event loop.
class ErrorGuard {
public:
    // True when the handler ran to its end; false when it raised an error, which has been reported.
    static bool run(Toolkit& toolkit, const std::function<void()>& handler);
    static ErrorMessage describe(const Error& error);
};

// Shows the busy cursor while a request is in flight.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace ostrel::ui
