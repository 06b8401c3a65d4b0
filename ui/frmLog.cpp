#include "ui/frmLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
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

#include "platform/ExchangeFormat.h"
#include "platform/Files.h"
#include "ui/ErrorGuard.h"
#include "ui/XmlFormat.h"

namespace ostrel::ui {

namespace {

QString shown(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

frmLog::frmLog(Toolkit& toolkit, ExchangeLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window),
      toolkit_(toolkit),
      log_(log),
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
    log_.setListener([this] {
        if (!showPending_.exchange(true))
            QMetaObject::invokeMethod(this, &frmLog::showNew, Qt::QueuedConnection);
    });
}

frmLog::~frmLog() {
    log_.setListener({});
}

// Whoever opens the log wants to read what the next requests send and receive: from now on the log keeps
// them whole. The requests before stay the summaries they were recorded as.
void frmLog::showEvent(QShowEvent* event) {
    log_.watch();
    showNew();
    QWidget::showEvent(event);
}

void frmLog::showNew() {
    showPending_ = false;
    // A hidden list is brought up to date when it is shown again.
    if (!isVisible()) return;
    struct Row {
        QStringList columns;
        bool hidden;
    };
    std::vector<Row> rows;
    const std::uint64_t shownEnd = firstShown_ + static_cast<std::uint64_t>(list_->topLevelItemCount());
    const std::uint64_t oldest = log_.visitFrom(shownEnd, [&](std::uint64_t, const Exchange& exchange) {
        rows.push_back(
            {{shown(exchanges::timeText(exchange).substr(11)), shown(exchange.method), shown(exchange.url),
              shown(exchanges::outcomeText(exchange)), shown(exchanges::durationText(exchange)),
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
    return exchanges::matches(exchange, filter_->text().toStdString(), searchBodies_->isChecked());
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
    // A summary holds no headers or body a command could send again.
    copyCurl_->setEnabled(exchange && !exchange->summary);
    const exchanges::XmlIndenter indent = indentXml_->isChecked() ? indentedXml : exchanges::XmlIndenter();
    details_->setPlainText(exchange ? shown(exchanges::detailsText(*exchange, indent)) : QString());
}

void frmLog::saveTo(const QString& path) {
    std::string text;
    log_.visitFrom(0, [&](std::uint64_t, const Exchange& exchange) {
        if (passes(exchange))
            text += exchanges::detailsText(exchange) + "\r\n" + std::string(78, '-') + "\r\n";
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
    const std::optional<Exchange> exchange = number ? log_.at(*number) : std::nullopt;
    if (exchange && !exchange->summary)
        QApplication::clipboard()->setText(shown(exchanges::curlCommand(*exchange)));
}

}  // namespace ostrel::ui
