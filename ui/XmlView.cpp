#include "ui/XmlView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <deque>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/TextCodec.h"
#include "platform/XmlDocument.h"
#include "ui/XmlRowPainter.h"
#include "ui/XmlTreeModel.h"

namespace ostrel::ui {

namespace {

// How many rows the first display may open up on its own before leaving the rest collapsed.
constexpr int kExpandBudget = 400;

// The charset named by an XML declaration at the start of the octets; empty when none is named.
std::string declaredEncoding(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (!bytes.starts_with("<?xml")) return {};
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    if (declaration.size() > 1024) return {};
    std::size_t pos = declaration.find("encoding");
    if (pos == std::string_view::npos) return {};
    pos = declaration.find_first_of("\"'", pos);
    if (pos == std::string_view::npos) return {};
    const std::size_t end = declaration.find(declaration[pos], pos + 1);
    if (end == std::string_view::npos) return {};
    return std::string(declaration.substr(pos + 1, end - pos - 1));
}

// The plain-text editor lays out a whole line at once, which takes seconds for a reply of megabytes written
// on one line; such a line is shown in pieces instead (each a line of the editor). Other text is shown as it
// is.
QString inDisplayLines(const QString& text) {
    constexpr qsizetype kPieceChars = 1000;
    qsizetype column = 0;
    bool longLine = false;
    for (const QChar c : text) {
        column = c == u'\n' ? 0 : column + 1;
        if (column > kPieceChars) {
            longLine = true;
            break;
        }
    }
    if (!longLine) return text;
    QString out;
    out.reserve(text.size() + text.size() / kPieceChars + 1);
    column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\n') {
            column = 0;
        } else if (column >= kPieceChars && !c.isLowSurrogate()) {
            out += u'\n';
            column = 1;
        } else {
            ++column;
        }
        out += c;
    }
    return out;
}

}  // namespace

XmlView::XmlView(QWidget* parent) : QWidget(parent) {
    model_ = new XmlTreeModel(this);

    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("xmlError"));
    error_->setWordWrap(true);
    error_->setTextFormat(Qt::PlainText);
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    error_->setContentsMargins(6, 4, 6, 4);
    // A pale red band, as browsers mark an XML page they could not parse.
    QPalette warning = error_->palette();
    warning.setColor(QPalette::Window, QColor(0xfd, 0xde, 0xde));
    warning.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    error_->setPalette(warning);
    error_->setAutoFillBackground(true);
    error_->hide();

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    tree_ = new QTreeView(this);
    tree_->setObjectName(QStringLiteral("xmlTree"));
    tree_->setModel(model_);
    tree_->setItemDelegate(new XmlRowPainter(model_, tree_, tree_));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    tree_->setFont(fixed);
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // The colours are those of a browser's XML page, which is white whatever the desktop theme.
    QPalette page = tree_->palette();
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, Qt::black);
    tree_->setPalette(page);

    connect(tree_->verticalScrollBar(), &QScrollBar::valueChanged, this, &XmlView::fetchAtEnd);

    auto* copy = new QAction(tr("&Copy"), tree_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &XmlView::copySelection);
    tree_->addAction(copy);
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("xmlText"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setFont(fixed);

    stack_ = new QStackedWidget(this);
    stack_->addWidget(tree_);
    stack_->addWidget(text_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(error_);
    layout->addWidget(stack_, 1);
}

XmlView::~XmlView() = default;

XmlPage XmlView::read(const QString& path) {
    XmlPage page;
    QString failure;
    try {
        std::string bytes = files::readAll(QFile::encodeName(path).toStdString());
        page.document = XmlDocument::fromBytes(bytes);
        if (page.document.hasChildNodes()) return page;
        const XmlParseError& parseError = page.document.parseError();
        page.error = tr("XML parsing error: %1").arg(fromUtf8(parseError.reason));
        if (parseError.line > 0) {
            page.error += parseError.column > 0
                              ? tr(" (line %1, column %2)").arg(parseError.line).arg(parseError.column)
                              : tr(" (line %1)").arg(parseError.line);
        }
        const std::string decoded = text::decodeToUtf8(bytes, declaredEncoding(bytes));
        std::string().swap(bytes);
        page.text = inDisplayLines(fromUtf8(decoded));
        return page;
    } catch (const Error& error) {
        failure = fromUtf8(error.description());
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    page = XmlPage();
    page.error =
        failure.isEmpty() ? tr("The file cannot be shown.") : tr("The file cannot be shown: %1").arg(failure);
    return page;
}

void XmlView::showPage(XmlPage page) {
    if (page.document.hasChildNodes()) {
        model_->reset(std::move(page.document));
        showTree();
    } else {
        model_->clear();
        showPlain(page.error, page.text);
    }
}

void XmlView::load(const QString& path) {
    // The shown document goes first, so that two large ones are never held at once.
    release();
    showPage(read(path));
}

void XmlView::release() {
    model_->clear();
}

void XmlView::showTree() {
    error_->clear();
    error_->hide();
    text_->clear();
    stack_->setCurrentWidget(tree_);
    expandWhileCheap();
    // A new document opens at its top, whatever the previous one was scrolled to.
    tree_->scrollToTop();
    tree_->horizontalScrollBar()->setValue(0);
}

void XmlView::showPlain(const QString& error, const QString& text) {
    error_->setText(error);
    error_->show();
    text_->setPlainText(text);
    stack_->setCurrentWidget(text_);
}

void XmlView::expandWhileCheap() {
    // Breadth first, like a reader's eye: the document element always opens; deeper levels open only while
    // the rows they reveal fit the budget, so a small reply is shown whole and a huge one costs one batch.
    int budget = kExpandBudget - model_->rowCount();
    std::deque<QModelIndex> queue;
    for (int row = 0; row < model_->rowCount(); ++row) queue.push_back(model_->index(row, 0));
    while (!queue.empty()) {
        const QModelIndex index = queue.front();
        queue.pop_front();
        if (!model_->hasChildren(index)) continue;
        const bool topLevel = !index.parent().isValid();
        if (!topLevel && budget <= 0) break;
        const int children = XmlTreeModel::childCountUpTo(*model_->itemAt(index), std::max(budget, 0) + 1);
        if (!topLevel && children > budget) continue;
        tree_->expand(index);
        // The view fetches on expanding unless its layout is still pending; the rows are needed now either
        // way.
        model_->fetchMore(index);
        const int rows = model_->rowCount(index);
        budget -= rows;
        for (int row = 0; row < rows; ++row) queue.push_back(model_->index(row, 0, index));
    }
}

void XmlView::fetchAtEnd(int value) {
    if (value < tree_->verticalScrollBar()->maximum()) return;
    // The bottom row of the whole tree; the nearest open node above it that still has rows to make gets its
    // next batch, as the view does for the first batch when a node opens.
    QModelIndex last;
    for (int depth = 0; depth < 100000; ++depth) {
        const int rows = model_->rowCount(last);
        if (rows == 0 || (last.isValid() && !tree_->isExpanded(last))) break;
        last = model_->index(rows - 1, 0, last);
    }
    for (QModelIndex node = last.parent();; node = node.parent()) {
        if (model_->fetchNextBatch(node) || !node.isValid()) break;
    }
}

void XmlView::copySelection() {
    const XmlNode node = model_->nodeAt(tree_->currentIndex());
    if (!node) return;
    try {
        QApplication::clipboard()->setText(fromUtf8(node.xml()));
    } catch (const std::exception&) {
        // Nothing is copied when the node cannot be serialised.
    }
}

}  // namespace ostrel::ui
