#include "ui/frmLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/Files.h"
#include "platform/Redaction.h"
#include "platform/TextCodec.h"
#include "ui/ErrorGuard.h"
#include "ui/Text.h"
#include "ui/XmlFormat.h"

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

// The value of a header in a block of header lines; empty when it is not there.
std::string headerValue(std::string_view headers, std::string_view name) {
    while (!headers.empty()) {
        const std::size_t end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || lowerCase(line.substr(0, colon)) != lowerCase(name)) continue;
        line.remove_prefix(colon + 1);
        const std::size_t first = line.find_first_not_of(" \t");
        const std::size_t last = line.find_last_not_of(" \t\r");
        return first == std::string_view::npos ? std::string()
                                               : std::string(line.substr(first, last + 1 - first));
    }
    return {};
}

// The encoding an XML declaration at the start of a body names; empty when there is none.
std::string declaredEncoding(std::string_view body) {
    if (!body.starts_with("<?xml")) return {};
    const std::string_view declaration = body.substr(0, body.find("?>"));
    std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) return {};
    const std::size_t end = declaration.find(declaration[at], at + 1);
    return end == std::string_view::npos ? std::string()
                                         : std::string(declaration.substr(at + 1, end - at - 1));
}

// The body as it went over the wire, its octets decoded for reading (by the charset of its Content-Type,
// else a byte-order mark, else its XML declaration, else as UTF-8). Nothing in it is parsed or resolved;
// indenting, when asked for, only moves white space between markup, and a body it cannot read as a whole
// document (HTML, text, XML cut at the size kept) stays as it came.
std::string readableBody(const std::string& body, const std::string& headers, bool indentXml) {
    std::string charset = text::charsetOf(headerValue(headers, "Content-Type"));
    if (charset.empty()) charset = declaredEncoding(body);
    std::string decoded = text::decodeToUtf8(body, charset);
    const std::size_t start = decoded.find_first_not_of(" \t\r\n");
    if (!indentXml || start == std::string::npos || decoded[start] != '<') return decoded;
    const Formatted formatted = formatXml(QString::fromStdString(decoded));
    return formatted.text ? formatted.text->toStdString() : decoded;
}

std::string bodyPart(const std::string& body, long long size, const std::string& headers, bool indentXml) {
    if (size == 0) return {};
    std::string text = "\r\n" + readableBody(body, headers, indentXml);
    if (static_cast<long long>(body.size()) < size) {
        text += "\r\n" + text::moreOctets(size - static_cast<long long>(body.size()));
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
    if (at == std::string::npos || url.compare(start + 3, at - start - 3, redaction::kHidden) != 0)
        return url;
    return url.substr(0, start + 3) + url.substr(at + 1);
}

}  // namespace

std::string exchangeText(const Exchange& exchange, bool indentXml) {
    return timeOf(exchange).toStdString() + "  " + exchange.method + " " + exchange.url + "  " +
           outcomeOf(exchange) + "  " + millisecondsOf(exchange) + ", " + std::to_string(exchange.octetsOut) +
           " octets out, " + std::to_string(exchange.octetsIn) + " in\r\n\r\n" + exchange.headersOut +
           bodyPart(exchange.bodyOut, exchange.bodyOutSize, exchange.headersOut, indentXml) + "\r\n" +
           exchange.headersIn + bodyPart(exchange.bodyIn, exchange.bodyInSize, exchange.headersIn, indentXml);
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
      searchBodies_(new QCheckBox("Search &bodies", this)),
      indentXml_(new QCheckBox("&Indent XML", this)),
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
    // Searching 1,000 bodies of up to 64 KiB at every key typed into the filter is the user's choice; by
    // default the filter looks at what the rows show.
    searchBodies_->setObjectName("logSearchBodies");
    searchBodies_->setToolTip("The filter also searches the headers and bodies");
    indentXml_->setObjectName("logIndentXml");
    indentXml_->setToolTip("Shows XML bodies indented; the bodies as they were sent and received otherwise");
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
    bar->addWidget(searchBodies_);
    bar->addWidget(indentXml_);
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
    connect(searchBodies_, &QCheckBox::toggled, this, &frmLog::filterChanged);
    connect(indentXml_, &QCheckBox::toggled, this, &frmLog::selectionChanged);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &frmLog::selectionChanged);
    connect(save_, &QPushButton::clicked, this, &frmLog::saveClicked);
    connect(copyCurl_, &QPushButton::clicked, this, &frmLog::copyCurlClicked);
}

void frmLog::exchanged(Exchange& exchange) {
    log_.exchanged(exchange);
}

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
                         QString::fromStdString(millisecondsOf(exchange)),
                         QString::number(exchange.octetsOut), QString::number(exchange.octetsIn)},
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
    for (const std::string* text : {&exchange.method, &exchange.url, &exchange.reason, &exchange.failure}) {
        if (containsNoCase(*text, wanted)) return true;
    }
    if (containsNoCase(std::to_string(exchange.status), wanted)) return true;
    if (!searchBodies_->isChecked()) return false;
    for (const std::string* text :
         {&exchange.headersOut, &exchange.headersIn, &exchange.bodyOut, &exchange.bodyIn}) {
        if (containsNoCase(*text, wanted)) return true;
    }
    return false;
}

void frmLog::filterChanged() {
    log_.visitFrom(firstShown_, [this](std::uint64_t number, const Exchange& exchange) {
        if (QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(number - firstShown_)))
            item->setHidden(!passes(exchange));
    });
    // A row the filter hides is no longer one the user can see selected, nor copy. The list does not say
    // so itself: hidden rows stay in its selection.
    QItemSelectionModel* selection = list_->selectionModel();
    for (const QModelIndex& row : selection->selectedRows()) {
        if (list_->isRowHidden(row.row(), row.parent()))
            selection->select(row, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    selectionChanged();
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
    details_->setPlainText(exchange ? QString::fromStdString(exchangeText(*exchange, indentXml_->isChecked()))
                                    : QString());
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
