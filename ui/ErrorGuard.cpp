#include "ui/ErrorGuard.h"

#include <cstdio>
#include <exception>
#include <new>

namespace ostrel::ui {

namespace {
unsigned long reportedCount = 0;
// Not one of our own errors (out of memory, a library's exception): reported with the platform's number for
// an unexpected failure.
constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFFu);
constexpr std::size_t kShownDescription = 4000;
}  // namespace

std::string ErrorGuard::describe(const Error& error) {
    char number[64];
    std::snprintf(number, sizeof number, "Error 0x%08X (%d)", static_cast<unsigned>(error.number()),
                  error.number());
    // A description can carry a whole reply; a message box that tries to lay out megabytes freezes the
    // desktop, so only its beginning is shown.
    std::string description = error.description();
    if (description.size() > kShownDescription) {
        std::size_t cut = kShownDescription;
        while (cut > 0 && (static_cast<unsigned char>(description[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8
        const std::size_t rest = description.size() - cut;
        description.resize(cut);
        description += "\r\n... (" + std::to_string(rest) + " more bytes not shown)";
    }
    return std::string(number) + "\r\nSource: " + error.source() + "\r\n\r\n" + description;
}

void ErrorGuard::run(Toolkit& toolkit, const std::function<void()>& handler) {
    std::string message;
    try {
        handler();
        return;
    } catch (const Error& error) {
        message = describe(error);
    } catch (const std::bad_alloc&) {
        message = describe(Error(kUnexpected, kAppTitle, "Out of memory"));
    } catch (const std::exception& error) {
        message = describe(Error(kUnexpected, kAppTitle, error.what()));
    }
    ++reportedCount;
    try {
        toolkit.MsgBox(message, kAppTitle);
    } catch (...) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
}

unsigned long ErrorGuard::reported() noexcept {
    return reportedCount;
}

}  // namespace ostrel::ui
