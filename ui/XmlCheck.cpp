#include "ui/XmlCheck.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include "platform/XmlDocument.h"

namespace ostrel::ui {

namespace {
// Long enough to span the gap between two keystrokes of someone typing, short enough that the result is
// there when they look up.
constexpr int kPauseMs = 150;
// Below this a parse takes a few milliseconds: checked in place.
constexpr qsizetype kLargeText = 64 * 1024;
}  // namespace

QString XmlProblem::describe() const {
    return QString("line %1, column %2: %3").arg(line).arg(column).arg(message);
}

std::optional<XmlProblem> firstXmlProblem(const QString& text) {
    XmlDocument document;
    if (document.loadXML(text.toStdString())) return std::nullopt;
    const XmlParseError& error = document.parseError();
    return XmlProblem{std::max(error.line, 1), std::max(error.column, 1),
                      QString::fromStdString(error.reason)};
}

int offsetOf(const QString& text, int line, int column) {
    qsizetype start = 0;
    for (int at = 1; at < line; ++at) {
        const qsizetype end = text.indexOf('\n', start);
        if (end < 0) break;
        start = end + 1;
    }
    qsizetype lineEnd = text.indexOf('\n', start);
    if (lineEnd < 0) lineEnd = text.size();
    // The parser counts characters; a character beyond the basic plane takes two places in the text.
    qsizetype offset = start;
    for (int at = 1; at < column && offset < lineEnd; ++at)
        offset += (text[offset].isHighSurrogate() && offset + 1 < lineEnd) ? 2 : 1;
    return static_cast<int>(offset);
}

XmlChecker::XmlChecker(std::function<QString()> text, QObject* parent)
    : QObject(parent), text_(std::move(text)) {
    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &XmlChecker::runCheck);
}

void XmlChecker::schedule() {
    ++generation_;
    pause_.start();
}

namespace {
XmlVerdict verdictOn(QString text, bool format) {
    XmlVerdict verdict{std::move(text), std::nullopt, std::nullopt};
    verdict.problem = firstXmlProblem(verdict.text);
    if (format && !verdict.problem) verdict.formatted = formatXml(verdict.text);
    return verdict;
}
}  // namespace

void XmlChecker::checkThen(bool format, Where where, std::function<void(const XmlVerdict&)> done) {
    const unsigned generation = ++generation_;
    pause_.stop();
    QString text = text_();
    if (where == Where::InPlace || text.size() < kLargeText) {
        const XmlVerdict verdict = verdictOn(std::move(text), format);
        emit checked(verdict.problem);
        done(verdict);
        return;
    }
    auto* watcher = new QFutureWatcher<XmlVerdict>(this);
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, generation, done = std::move(done)] {
                const XmlVerdict verdict = watcher->result();
                watcher->deleteLater();
                if (generation == generation_) emit checked(verdict.problem);
                done(verdict);
            });
    watcher->setFuture(
        QtConcurrent::run([text = std::move(text), format] { return verdictOn(std::move(text), format); }));
}

void XmlChecker::runCheck() {
    QString text = text_();
    if (text.size() < kLargeText) {
        emit checked(firstXmlProblem(text));
        return;
    }
    const unsigned generation = generation_;
    auto* watcher = new QFutureWatcher<std::optional<XmlProblem>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        if (generation == generation_) emit checked(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([text = std::move(text)] { return firstXmlProblem(text); }));
}

}  // namespace ostrel::ui
