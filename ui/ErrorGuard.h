#pragma once

#include <QApplication>

#include <functional>
#include <string>

#include "platform/Error.h"
#include "platform/Toolkit.h"

namespace ostrel::ui {

inline constexpr const char* kAppTitle = "Ostrel WebDAV";

// Every window handler runs under this guard: an error it raises stops the handler at the failing step, is
// reported in a message box (number in hex and decimal, source, description) and the program goes on.
// Nothing is thrown back into the event loop.
class ErrorGuard {
public:
    static void run(Toolkit& toolkit, const std::function<void()>& handler);
    // How many errors have been reported so far: lets a window tell whether a handler it set off failed.
    static unsigned long reported() noexcept;
    static std::string describe(const Error& error);
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
