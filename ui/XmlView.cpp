#include "ui/XmlView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <deque>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
// How many rows "Expand all" makes at most: a document of tens of megabytes would otherwise take minutes and
// gigabytes for rows nobody reads. Beyond that, Find and scrolling make rows as they are needed.
constexpr int kExpandAllBudget = 50000;

// The XML declaration at the start of a file's octets, as written (it is ASCII); empty when there is none.
QString declarationOf(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (!bytes.starts_with("<?xml") || bytes.size() < 6 ||
        !std::isspace(static_cast<unsigned char>(bytes[5])))
        return {};
    const std::size_t end = bytes.find("?>");
    if (end == std::string_view::npos || end > 1024) return {};
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(end + 2)).simplified();
}

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
    tree_->setAccessibleName(tr("Document tree"));
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

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("xmlText"));
    text_->setAccessibleName(tr("Document text"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setFont(fixed);

    stack_ = new QStackedWidget(this);
    stack_->addWidget(tree_);
    stack_->addWidget(text_);

    buildFindBar();
    addActions();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(error_);
    layout->addWidget(stack_, 1);
    layout->addWidget(findBar_);
}

void XmlView::buildFindBar() {
    findBar_ = new QWidget(this);
    findBar_->setObjectName(QStringLiteral("findBar"));
    auto* label = new QLabel(tr("Fi&nd:"), findBar_);
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("findText"));
    label->setBuddy(findText_);
    auto* previous = new QPushButton(tr("&Previous"), findBar_);
    previous->setObjectName(QStringLiteral("findPrevious"));
    auto* next = new QPushButton(tr("Ne&xt"), findBar_);
    next->setObjectName(QStringLiteral("findNext"));
    for (QPushButton* button : {previous, next}) button->setAutoDefault(false);
    findStatus_ = new QLabel(findBar_);
    findStatus_->setObjectName(QStringLiteral("findStatus"));

    auto* row = new QHBoxLayout(findBar_);
    row->setContentsMargins(4, 2, 4, 2);
    row->addWidget(label);
    row->addWidget(findText_, 1);
    row->addWidget(previous);
    row->addWidget(next);
    row->addWidget(findStatus_, 1);
    findBar_->hide();

    connect(findText_, &QLineEdit::returnPressed, this, [this] { findFromBar(true); });
    connect(next, &QPushButton::clicked, this, [this] { findFromBar(true); });
    connect(previous, &QPushButton::clicked, this, [this] { findFromBar(false); });
    auto* backwards = new QAction(findText_);
    backwards->setShortcuts(
        {QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::SHIFT | Qt::Key_Enter)});
    backwards->setShortcutContext(Qt::WidgetShortcut);
    connect(backwards, &QAction::triggered, this, [this] { findFromBar(false); });
    findText_->addAction(backwards);
    auto* close = new QAction(findBar_);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(close, &QAction::triggered, this, [this] {
        findBar_->hide();
        tree_->setFocus();
    });
    findBar_->addAction(close);
}

// The tree's context menu and its keys, which work anywhere in the view.
void XmlView::addActions() {
    const auto add = [this](const QString& text, const QList<QKeySequence>& keys, auto handler) {
        auto* action = new QAction(text, this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        tree_->addAction(action);
    };
    add(tr("&Copy"), {QKeySequence::Copy}, [this] { copySelection(); });
    add(tr("&Find…"), {QKeySequence::Find}, [this] { showFindBar(); });
    add(tr("Find &next"), {QKeySequence(Qt::Key_F3)}, [this] { findFromBar(true); });
    add(tr("Find &previous"), {QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { findFromBar(false); });
    // Ctrl+E moves to the end of a line on X11 desktops; these keys are no text editing key anywhere.
    add(tr("&Expand all"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}, [this] { expandAll(); });
    add(tr("C&ollapse all"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)},
        [this] { tree_->collapseAll(); });
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void XmlView::showFindBar() {
    findBar_->show();
    findText_->setFocus();
    findText_->selectAll();
}

void XmlView::findFromBar(bool forward) {
    if (!findBar_->isVisible()) return showFindBar();
    findStatus_->setText(find(findText_->text(), forward) || findText_->text().isEmpty() ? QString()
                                                                                         : tr("Not found"));
}

bool XmlView::find(const QString& text, bool forward) {
    if (stack_->currentWidget() != tree_) return false;
    const XmlTreeModel::Place place =
        model_->find(model_->placeAt(tree_->currentIndex()), text.toStdString(), forward);
    const QModelIndex found = place ? model_->reveal(place) : QModelIndex();
    if (!found.isValid()) return false;
    std::vector<QModelIndex> closed;
    for (QModelIndex up = found.parent(); up.isValid(); up = up.parent()) closed.push_back(up);
    for (auto up = closed.rbegin(); up != closed.rend(); ++up) tree_->expand(*up);
    tree_->setCurrentIndex(found);
    tree_->scrollTo(found, QAbstractItemView::PositionAtCenter);
    // The row's text starts at its left: scrolling to show the whole width of a long row would hide it.
    tree_->horizontalScrollBar()->setValue(0);
    return true;
}

XmlView::~XmlView() = default;

XmlPage XmlView::read(const QString& path) {
    XmlPage page;
    QString failure;
    try {
        std::string bytes = files::readAll(QFile::encodeName(path).toStdString());
        page.document = XmlDocument::fromBytes(bytes);
        if (page.document.hasChildNodes()) {
            page.declaration = declarationOf(bytes);
            return page;
        }
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
        model_->reset(std::move(page.document), page.declaration);
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
    expandBreadthFirst(kExpandBudget, true);
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

void XmlView::expandAll() {
    // With a layout pending, the tree only notes each node opened and lays the rows out once afterwards;
    // otherwise it would move its rows for every node, which for ten thousands of nodes takes minutes.
    tree_->setRootIndex(tree_->rootIndex());
    expandBreadthFirst(kExpandAllBudget, false);
}

void XmlView::expandBreadthFirst(int rowBudget, bool wholeNodesOnly) {
    // Breadth first, like a reader's eye: the top level always opens; deeper levels open only while the rows
    // they reveal fit the budget, so that on display a small reply is shown whole and a huge one costs one
    // batch.
    int budget = rowBudget - model_->rowCount();
    std::deque<QModelIndex> queue;
    for (int row = 0; row < model_->rowCount(); ++row) queue.push_back(model_->index(row, 0));
    while (!queue.empty()) {
        const QModelIndex index = queue.front();
        queue.pop_front();
        if (!model_->hasChildren(index)) continue;
        const bool topLevel = !index.parent().isValid();
        if (!topLevel && budget <= 0) break;
        const int children = XmlTreeModel::childCountUpTo(*model_->itemAt(index), std::max(budget, 0) + 1);
        if (!topLevel && wholeNodesOnly && children > budget) continue;
        // Rows already open (a Find made them, say) cost nothing more.
        const bool opened = !tree_->isExpanded(index);
        tree_->expand(index);
        // The view fetches on expanding unless its layout is still pending; the rows are needed now either
        // way.
        model_->fetchMore(index);
        const int rows = model_->rowCount(index);
        if (opened) budget -= rows;
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
        QApplication::clipboard()->setText(fromUtf8(node.xmlWithNamespaces()));
    } catch (const std::exception&) {
        // Nothing is copied when the node cannot be serialised.
    }
}

}  // namespace ostrel::ui
