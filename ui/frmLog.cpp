#include "ui/frmLog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "platform/Files.h"
#include "platform/Redaction.h"
#include "ui/ErrorGuard.h"
#include "ui/Text.h"

namespace ostrel::ui {

namespace {

QString timeOf(const Exchange& exchange) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(exchange.time.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count()).toString("yyyy-MM-dd hh:mm:ss.zzz");
}

std::string outcomeOf(const Exchange& exchange) {
    if (!exchange.failure.empty()) return exchange.failure;
    return std::to_string(exchange.status) + " " + exchange.reason;
}

std::string millisecondsOf(const Exchange& exchange) {
    return QString::number(static_cast<double>(exchange.duration.count()) / 1000.0, 'f', 1).toStdString() +
           " ms";
}

// The body indented for reading when it is well-formed XML; as it came otherwise (HTML, text, or XML cut at
// the size kept).
std::string readableBody(const std::string& body, bool prettyXml) {
    const std::size_t start = body.find_first_not_of(" \t\r\n");
    if (!prettyXml || start == std::string::npos || body[start] != '<') return body;
    QXmlStreamReader reader(QByteArray::fromStdString(body));
    // Names and namespace declarations stay as the peer wrote them, prefixes included.
    reader.setNamespaceProcessing(false);
    QString out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(true);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isWhitespace() || reader.tokenType() == QXmlStreamReader::Invalid) continue;
        if (reader.isStartElement()) {
            writer.writeStartElement(reader.qualifiedName().toString());
            writer.writeAttributes(reader.attributes());
        } else {
            writer.writeCurrentToken(reader);
        }
    }
    return reader.hasError() ? body : out.toStdString();
}

std::string bodyPart(const std::string& body, long long size, bool prettyXml) {
    if (size == 0) return {};
    std::string text = "\r\n" + readableBody(body, prettyXml);
    if (static_cast<long long>(body.size()) < size) {
        text += "\r\n\xE2\x80\xA6 (" + std::to_string(size - static_cast<long long>(body.size())) +
                " more octets)";
    }
    return text + "\r\n";
}

std::string shellQuoted(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Headers that curl makes itself from its own options, or that would carry a credential.
bool curlMakesItself(std::string_view name) {
    for (const char* own : {"Host", "Content-Length", "Authorization", "Proxy-Authorization"}) {
        if (lowerCase(name) == lowerCase(own)) return true;
    }
    return false;
}

// The user information of a URL is hidden in the log; curl is given the user id with -u instead, so the
// hidden text must not reach it as a user name.
std::string withoutUserInfo(const std::string& url) {
    const std::size_t start = url.find("://");
    const std::size_t at = start == std::string::npos ? start : url.find('@', start);
    if (at == std::string::npos || url.compare(start + 3, at - start - 3, redaction::kHidden) != 0) return url;
    return url.substr(0, start + 3) + url.substr(at + 1);
}

}  // namespace

std::string exchangeText(const Exchange& exchange, bool prettyXml) {
    return timeOf(exchange).toStdString() + "  " + exchange.method + " " + exchange.url + "  " +
           outcomeOf(exchange) + "  " + millisecondsOf(exchange) + ", " + std::to_string(exchange.octetsOut) +
           " octets out, " + std::to_string(exchange.octetsIn) + " in\r\n\r\n" + exchange.headersOut +
           bodyPart(exchange.bodyOut, exchange.bodyOutSize, prettyXml) + "\r\n" + exchange.headersIn +
           bodyPart(exchange.bodyIn, exchange.bodyInSize, prettyXml);
}

std::string curlCommand(const Exchange& exchange) {
    std::string command = "curl";
    if (exchange.method != "GET") command += " -X " + exchange.method;
    bool typed = false;
    std::string_view headers = exchange.headersOut;
    headers.remove_prefix(std::min(headers.size(), headers.find('\n') + 1));  // the request line
    while (!headers.empty()) {
        const std::size_t end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos || curlMakesItself(line.substr(0, colon)))
            continue;
        typed = typed || lowerCase(line.substr(0, colon)) == "content-type";
        command += " -H " + shellQuoted(line);
    }
    if (exchange.bodyOutSize > 0) {
        // curl would label a body as a form otherwise; the request sent it without a type.
        if (!typed) command += " -H 'Content-Type:'";
        command += " --data-binary " + shellQuoted(exchange.bodyOut);
    }
    if (!exchange.user.empty()) command += " --anyauth -u " + shellQuoted(exchange.user);
    command += " " + shellQuoted(withoutUserInfo(exchange.url));
    if (static_cast<long long>(exchange.bodyOut.size()) < exchange.bodyOutSize) {
        command = "# The body is cut at its first " + std::to_string(exchange.bodyOut.size()) + " of " +
                  std::to_string(exchange.bodyOutSize) + " octets.\n" + command;
    }
    return command;
}

frmLog::frmLog(Toolkit& toolkit, QWidget* parent)
    : QWidget(parent, Qt::Window),
      toolkit_(toolkit),
      log_(ExchangeLog::kKept,
           [this] {
               if (!showPending_.exchange(true))
                   QMetaObject::invokeMethod(this, &frmLog::showNew, Qt::QueuedConnection);
           }),
      filter_(new QLineEdit(this)),
      save_(new QPushButton("&Save…", this)),
      copyCurl_(new QPushButton("Copy as &curl command", this)),
      list_(new QTreeWidget(this)),
      details_(new QPlainTextEdit(this)),
      hiding_(new QLabel(kHidingText, this)) {
    setObjectName("frmLog");
    setWindowTitle("Protocol log");
    resize(900, 600);

    filter_->setObjectName("logFilter");
    filter_->setPlaceholderText("Filter");
    filter_->setClearButtonEnabled(true);
    save_->setObjectName("logSave");
    copyCurl_->setObjectName("logCopyCurl");
    copyCurl_->setEnabled(false);
    list_->setObjectName("logList");
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setHeaderLabels({"Time", "Method", "URL", "Status", "Duration", "Out", "In"});
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    // Wide enough for their usual texts from the start: sizing to the contents would measure every row again
    // at every exchange.
    const QStringList widest = {"00:00:00.000", "PROPPATCH", "",        "207 Multi-Status",
                                "1000.0 ms",    "000000",    "00000000"};
    for (int column = 0; column < widest.size(); ++column) {
        if (!widest[column].isEmpty())
            list_->setColumnWidth(column, list_->fontMetrics().horizontalAdvance(widest[column] + "    "));
    }
    filter_->setAccessibleName("Filter");
    list_->setAccessibleName("Exchanges");
    details_->setAccessibleName("Exchange");
    details_->setObjectName("logDetails");
    details_->setReadOnly(true);
    details_->setLineWrapMode(QPlainTextEdit::NoWrap);
    details_->setFont(QFont("monospace"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(filter_, 1);
    bar->addWidget(save_);
    bar->addWidget(copyCurl_);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(list_);
    split->addWidget(details_);
    hiding_->setObjectName("logHiding");
    hiding_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    layout->addWidget(hiding_);

    connect(filter_, &QLineEdit::textChanged, this, &frmLog::filterChanged);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &frmLog::selectionChanged);
    connect(save_, &QPushButton::clicked, this, &frmLog::saveClicked);
    connect(copyCurl_, &QPushButton::clicked, this, &frmLog::copyCurlClicked);
}

void frmLog::exchanged(Exchange& exchange) { log_.exchanged(exchange); }

void frmLog::showNew() {
    showPending_ = false;
    struct Row {
        QStringList columns;
        bool hidden;
    };
    std::vector<Row> rows;
    const std::uint64_t shownEnd = firstShown_ + static_cast<std::uint64_t>(list_->topLevelItemCount());
    const std::uint64_t oldest = log_.visitFrom(shownEnd, [&](std::uint64_t, const Exchange& exchange) {
        rows.push_back({{timeOf(exchange).mid(11), QString::fromStdString(exchange.method),
                         QString::fromStdString(exchange.url), QString::fromStdString(outcomeOf(exchange)),
                         QString::fromStdString(millisecondsOf(exchange)), QString::number(exchange.octetsOut),
                         QString::number(exchange.octetsIn)},
                        !passes(exchange)});
    });
    // Rows whose exchanges the log no longer keeps go; when none of the shown ones is kept, the new rows
    // start at the oldest kept.
    if (oldest > shownEnd) {
        list_->clear();
        firstShown_ = oldest;
    }
    for (; firstShown_ < oldest; ++firstShown_) delete list_->takeTopLevelItem(0);
    for (Row& row : rows) (new QTreeWidgetItem(list_, row.columns))->setHidden(row.hidden);
}

bool frmLog::passes(const Exchange& exchange) const {
    const std::string wanted = filter_->text().toStdString();
    if (wanted.empty()) return true;
    for (const std::string* text :
         {&exchange.method, &exchange.url, &exchange.reason, &exchange.failure, &exchange.headersOut,
          &exchange.headersIn, &exchange.bodyOut, &exchange.bodyIn}) {
        if (containsNoCase(*text, wanted)) return true;
    }
    return containsNoCase(std::to_string(exchange.status), wanted);
}

void frmLog::filterChanged() {
    log_.visitFrom(firstShown_, [this](std::uint64_t number, const Exchange& exchange) {
        if (QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(number - firstShown_)))
            item->setHidden(!passes(exchange));
    });
}

std::optional<std::uint64_t> frmLog::selectedNumber() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    return firstShown_ + static_cast<std::uint64_t>(list_->indexOfTopLevelItem(selected.front()));
}

void frmLog::selectionChanged() {
    const std::optional<std::uint64_t> number = selectedNumber();
    const std::optional<Exchange> exchange = number ? log_.at(*number) : std::nullopt;
    copyCurl_->setEnabled(exchange.has_value());
    details_->setPlainText(exchange ? QString::fromStdString(exchangeText(*exchange, true)) : QString());
}

void frmLog::saveTo(const QString& path) {
    std::string text;
    log_.visitFrom(0, [&](std::uint64_t, const Exchange& exchange) {
        if (passes(exchange)) text += exchangeText(exchange, false) + "\r\n" + std::string(78, '-') + "\r\n";
    });
    // The log holds what the user sent and received: readable by the user alone.
    files::writeFileAtomically(path.toStdString(), text, files::Visibility::Private);
}

void frmLog::saveClicked() {
    const QString path = QFileDialog::getSaveFileName(this, "Save protocol log", "protocol-log.txt");
    if (path.isEmpty()) return;
    ErrorGuard::run(toolkit_, [&] { saveTo(path); });
}

void frmLog::copyCurlClicked() {
    const std::optional<std::uint64_t> number = selectedNumber();
    if (const std::optional<Exchange> exchange = number ? log_.at(*number) : std::nullopt)
        QApplication::clipboard()->setText(QString::fromStdString(curlCommand(*exchange)));
}

}  // namespace ostrel::ui
