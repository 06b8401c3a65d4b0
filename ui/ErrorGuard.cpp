#include "ui/ErrorGuard.h"

#include <QStringList>
#include <QTextDocumentFragment>

#include <cstdio>
#include <exception>
#include <new>

#include "platform/TextCodec.h"
#include "ui/Text.h"

namespace ostrel::ui {

namespace {
// Not one of our own errors (out of memory, a library's exception): reported with the platform's number for
// an unexpected failure.
constexpr std::int32_t kUnexpected = static_cast<std::int32_t>(0x8000FFFFu);
// A message box that tries to lay out megabytes freezes the desktop: the line shown and the details are cut.
constexpr std::size_t kShownLine = 4000;
constexpr std::size_t kShownDetails = 64 * 1024;

std::string shortened(std::string text, std::size_t limit) {
    if (text.size() <= limit) return text;
    const std::size_t cut = text::utf8Boundary(text, limit);
    const auto rest = static_cast<long long>(text.size() - cut);
    text.resize(cut);
    return text + text::moreOctets(rest);
}

// Servers answer errors with HTML pages; the details show their words, one non-blank line each.
std::string readable(const std::string& reply) {
    if (!containsNoCase(reply, "<html")) return reply;
    QString text = QTextDocumentFragment::fromHtml(QString::fromStdString(reply)).toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty()) lines << line.trimmed();
    }
    return lines.join("\r\n").toStdString();
}

void report(Toolkit& toolkit, const Error& error) noexcept {
    try {
        const ErrorMessage message = ErrorGuard::describe(error);
        toolkit.DetailedMsgBox(message.text, message.details, kAppTitle);
    } catch (...) {
        std::fprintf(stderr, "%s: %s\n", error.source().c_str(), error.description().c_str());
    }
}
}  // namespace

ErrorMessage ErrorGuard::describe(const Error& error) {
    char number[64];
    std::snprintf(number, sizeof number, "Error 0x%08X (%d)", static_cast<unsigned>(error.number()),
                  error.number());
    return {std::string(number) + "\r\nSource: " + error.source() + "\r\n\r\n" +
                shortened(std::string(error.headline()), kShownLine),
            readable(shortened(std::string(error.details()), kShownDetails))};
}

bool ErrorGuard::run(Toolkit& toolkit, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const Error& error) {
        report(toolkit, error);
    } catch (const std::bad_alloc&) {
        report(toolkit, Error(kUnexpected, kAppTitle, "Out of memory"));
    } catch (const std::exception& error) {
        report(toolkit, Error(kUnexpected, kAppTitle, error.what()));
    }
    return false;
}

}  // namespace ostrel::ui
