#include "ui/XmlView.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/TextCodec.h"
#include "platform/XmlDocument.h"

namespace ostrel::ui {

namespace {

// Rows are made in batches so that an element with a million children opens as fast as one with ten; the
// view asks for the next batch when it is scrolled to the end of what it has.
constexpr std::size_t kFetchBatch = 10000;
// Text up to this many characters stays on its element's row, as browsers show <href>/a.xml</href>.
constexpr qsizetype kInlineTextLimit = 120;
// A row is one line: longer content is cut there (the whole node can still be copied).
constexpr std::size_t kRowByteLimit = 4000;
// How many rows the first display may open up on its own before leaving the rest collapsed.
constexpr int kExpandBudget = 400;

enum class Tone : std::uint8_t { Tag, AttributeName, AttributeValue, Text, Comment, Markup, Entity };

struct Segment {
    Tone tone;
    QString text;
};
using Segments = std::vector<Segment>;

QColor colourOf(Tone tone) {
    // The colours browsers use for their XML tree, on the white page they draw it on.
    switch (tone) {
        case Tone::Tag:
            return QColor(0x88, 0x12, 0x80);
        case Tone::AttributeName:
            return QColor(0x99, 0x45, 0x00);
        case Tone::AttributeValue:
            return QColor(0x1a, 0x1a, 0xa6);
        case Tone::Text:
            return QColor(0x00, 0x00, 0x00);
        case Tone::Comment:
            return QColor(0x23, 0x6e, 0x25);
        case Tone::Markup:
            return QColor(0x80, 0x80, 0x80);
        case Tone::Entity:
            return QColor(0x1a, 0x1a, 0xa6);
    }
    return QColor(Qt::black);
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Content as one display line: runs of white space become one space (as a browser renders them), and very
// long content is cut on a character boundary with an ellipsis.
QString oneLine(std::string_view utf8, bool trim) {
    std::string out;
    out.reserve(std::min(utf8.size(), kRowByteLimit) + 4);
    bool space = false;
    bool cut = false;
    for (const char c : utf8) {
        if (isXmlSpace(c)) {
            space = true;
            continue;
        }
        if (space && (!trim || !out.empty())) out += ' ';
        space = false;
        // Stop before a lead byte so that no multi-byte character is split.
        if (out.size() >= kRowByteLimit && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            cut = true;
            break;
        }
        out += c;
    }
    if (space && !trim && !cut) out += ' ';
    QString text = QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
    if (cut) text += QChar(0x2026);
    return text;
}

QString qs(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
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

// The document as a tree of rows, made on demand. Each row stands for one node (or for the end tag that
// closes an element with content); rows for a node's children exist only once the view has opened that node.
class XmlTreeModel : public QAbstractItemModel {
public:
    enum class Shape : std::uint8_t { Unknown, Leaf, Inline, Container };

    struct Item {
        XmlNode node;  // for an end-tag row: the element it closes
        Item* parent = nullptr;
        int row = 0;
        bool endTag = false;
        bool complete = false;  // every child row has been made
        Shape shape = Shape::Unknown;
        XmlNode pending;  // the next child node without a row
        std::vector<std::unique_ptr<Item>> children;
    };

    using QAbstractItemModel::QAbstractItemModel;

    void reset(XmlDocument document) {
        beginResetModel();
        // Rows hold handles into the document: they go first.
        root_ = Item{};
        document_ = std::move(document);
        created_ = 0;
        root_.shape = Shape::Container;
        endResetModel();
        fetch(root_);
    }

    void clear() { reset(XmlDocument()); }

    qint64 createdRows() const { return created_; }

    const Item* itemAt(const QModelIndex& index) const {
        return index.isValid() ? static_cast<const Item*>(index.internalPointer()) : &root_;
    }

    Shape shapeOf(const Item& item) const {
        if (item.shape != Shape::Unknown) return item.shape;
        Shape shape = Shape::Leaf;
        if (!item.endTag && item.node.nodeType() == XmlNodeType::Element) {
            const XmlNode first = item.node.firstChild();
            if (first) {
                const XmlNodeType type = first.nodeType();
                const bool lone =
                    !first.nextSibling() && (type == XmlNodeType::Text || type == XmlNodeType::CData);
                shape = lone && oneLine(first.text(), true).size() <= kInlineTextLimit ? Shape::Inline
                                                                                       : Shape::Container;
            }
        }
        // Worked out on first use and kept: the view asks for it on every layout.
        const_cast<Item&>(item).shape = shape;
        return shape;
    }

    // How many child nodes an element has, counting no further than limit.
    static int childCountUpTo(const Item& item, int limit) {
        int count = 0;
        for (XmlNode n = item.node.firstChild(); n && count < limit; n = n.nextSibling()) ++count;
        return count;
    }

    Segments segments(const Item& item) const {
        Segments out;
        auto add = [&out](Tone tone, QString text) { out.push_back({tone, std::move(text)}); };
        if (item.endTag) {
            add(Tone::Tag, "</" + qs(item.node.nodeName()) + ">");
            return out;
        }
        const XmlNode& node = item.node;
        switch (node.nodeType()) {
            case XmlNodeType::Element: {
                const QString name = qs(node.nodeName());
                add(Tone::Tag, "<" + name);
                for (const auto& [prefix, uri] : node.namespaceDeclarations()) {
                    add(Tone::AttributeName,
                        prefix.empty() ? QStringLiteral(" xmlns") : " xmlns:" + qs(prefix));
                    add(Tone::Text, QStringLiteral("="));
                    add(Tone::AttributeValue, '"' + oneLine(uri, false) + '"');
                }
                for (const XmlNode attribute : node.attributes()) {
                    add(Tone::AttributeName, " " + qs(attribute.nodeName()));
                    add(Tone::Text, QStringLiteral("="));
                    add(Tone::AttributeValue, '"' + oneLine(attribute.text(), false) + '"');
                }
                switch (shapeOf(item)) {
                    case Shape::Leaf:
                        add(Tone::Tag, QStringLiteral("/>"));
                        break;
                    case Shape::Inline: {
                        add(Tone::Tag, QStringLiteral(">"));
                        const XmlNode child = node.firstChild();
                        if (child.nodeType() == XmlNodeType::CData) {
                            add(Tone::Markup, QStringLiteral("<![CDATA["));
                            add(Tone::Text, oneLine(child.text(), false));
                            add(Tone::Markup, QStringLiteral("]]>"));
                        } else {
                            add(Tone::Text, oneLine(child.text(), true));
                        }
                        add(Tone::Tag, "</" + name + ">");
                        break;
                    }
                    default:
                        add(Tone::Tag, QStringLiteral(">"));
                        break;
                }
                break;
            }
            case XmlNodeType::Text:
                add(Tone::Text, oneLine(node.text(), true));
                break;
            case XmlNodeType::CData:
                add(Tone::Markup, QStringLiteral("<![CDATA["));
                add(Tone::Text, oneLine(node.text(), false));
                add(Tone::Markup, QStringLiteral("]]>"));
                break;
            case XmlNodeType::Comment:
                add(Tone::Comment, "<!--" + oneLine(node.text(), false) + "-->");
                break;
            case XmlNodeType::ProcessingInstruction: {
                const QString data = oneLine(node.text(), true);
                add(Tone::Markup,
                    "<?" + qs(node.nodeName()) + (data.isEmpty() ? QString() : " " + data) + "?>");
                break;
            }
            case XmlNodeType::EntityReference:
                add(Tone::Entity, "&" + qs(node.nodeName()) + ";");
                break;
            default:
                // At the top of a document this is the document type declaration.
                if (item.parent == &root_) {
                    add(Tone::Markup, "<!DOCTYPE " + qs(node.nodeName()) + ">");
                } else {
                    add(Tone::Markup, oneLine(node.xml(), true));
                }
                break;
        }
        return out;
    }

    static QString joined(const Segments& segments) {
        QString text;
        for (const Segment& segment : segments) text += segment.text;
        return text;
    }

    XmlNode nodeAt(const QModelIndex& index) const {
        return index.isValid() ? itemAt(index)->node : XmlNode();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override {
        const Item* item = itemAt(parent);
        if (column != 0 || row < 0 || static_cast<std::size_t>(row) >= item->children.size()) return {};
        return createIndex(row, 0, item->children[static_cast<std::size_t>(row)].get());
    }

    QModelIndex parent(const QModelIndex& child) const override {
        if (!child.isValid()) return {};
        const Item* up = itemAt(child)->parent;
        if (!up || up == &root_) return {};
        return createIndex(up->row, 0, const_cast<Item*>(up));
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        if (parent.column() > 0) return 0;
        return static_cast<int>(itemAt(parent)->children.size());
    }

    int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }

    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override {
        if (parent.column() > 0) return false;
        const Item* item = itemAt(parent);
        if (item == &root_) return !root_.children.empty() || !root_.complete;
        return shapeOf(*item) == Shape::Container;
    }

    // Only the first batch is offered here: the view asks again on every layout of an open node, which would
    // make rows for everything in the end. Later batches come from fetchNextBatch when the view is scrolled
    // to the end of what it has.
    bool canFetchMore(const QModelIndex& parent) const override {
        if (parent.column() > 0) return false;
        const Item* item = itemAt(parent);
        return item->children.empty() && !item->complete && hasChildren(parent);
    }

    void fetchMore(const QModelIndex& parent) override {
        if (canFetchMore(parent)) fetch(*const_cast<Item*>(itemAt(parent)));
    }

    // Makes the next batch of rows under parent; false when it already has them all.
    bool fetchNextBatch(const QModelIndex& parent) {
        if (parent.column() > 0 || !hasChildren(parent)) return false;
        Item* item = const_cast<Item*>(itemAt(parent));
        if (item->complete) return false;
        fetch(*item);
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (shapeOf(*itemAt(index)) != Shape::Container) flags |= Qt::ItemNeverHasChildren;
        return flags;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole) return {};
        try {
            return joined(segments(*itemAt(index)));
        } catch (const std::exception&) {
            // Out of memory for one row: show it empty rather than let the failure into the event loop.
            return {};
        }
    }

private:
    void fetch(Item& item) {
        try {
            XmlNode next = item.children.empty()
                               ? (&item == &root_ ? document_.firstChild() : item.node.firstChild())
                               : item.pending;
            std::vector<std::unique_ptr<Item>> made;
            const int first = static_cast<int>(item.children.size());
            for (std::size_t i = 0; i < kFetchBatch && next; ++i, next = next.nextSibling()) {
                auto child = std::make_unique<Item>();
                child->node = next;
                child->parent = &item;
                child->row = first + static_cast<int>(i);
                made.push_back(std::move(child));
            }
            const bool done = !next;
            if (done && &item != &root_) {
                // An element with content ends with its end tag, as the document does.
                auto end = std::make_unique<Item>();
                end->node = item.node;
                end->parent = &item;
                end->row = first + static_cast<int>(made.size());
                end->endTag = true;
                end->shape = Shape::Leaf;
                end->complete = true;
                made.push_back(std::move(end));
            }
            item.children.reserve(item.children.size() + made.size());
            // Nothing below can throw: the view is told exactly what was added.
            if (!made.empty()) {
                const QModelIndex parentIndex =
                    &item == &root_ ? QModelIndex() : createIndex(item.row, 0, &item);
                beginInsertRows(parentIndex, first, first + static_cast<int>(made.size()) - 1);
                for (auto& child : made) item.children.push_back(std::move(child));
                item.pending = next;
                item.complete = done;
                created_ += static_cast<qint64>(made.size());
                endInsertRows();
            } else {
                item.pending = next;
                item.complete = done;
            }
        } catch (const std::exception&) {
            // Out of memory: the rows already made stay; the rest is simply not shown.
        }
    }

    XmlDocument document_;
    Item root_;
    qint64 created_ = 0;
};

namespace {

// Paints a row in the colours of its parts. A collapsed element shows "…</name>" after its start tag, as a
// browser shows a folded element.
class XmlRowDelegate : public QStyledItemDelegate {
public:
    XmlRowDelegate(const XmlTreeModel* model, const QTreeView* view, QObject* parent)
        : QStyledItemDelegate(parent), model_(model), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        try {
            QStyleOptionViewItem opt = option;
            initStyleOption(&opt, index);
            opt.text.clear();
            const QWidget* widget = opt.widget;
            QStyle* style = widget ? widget->style() : QApplication::style();
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

            const XmlTreeModel::Item& item = *model_->itemAt(index);
            Segments parts = model_->segments(item);
            if (folded(item, index)) {
                parts.push_back({Tone::Markup, QString(QChar(0x2026))});
                parts.push_back({Tone::Tag, "</" + qs(item.node.nodeName()) + ">"});
            }
            const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
            const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
            const bool selected = (opt.state & QStyle::State_Selected) != 0;
            const QColor highlighted = opt.palette.color(QPalette::Active, QPalette::HighlightedText);
            const QFontMetrics metrics(opt.font);

            painter->save();
            painter->setFont(opt.font);
            painter->setClipRect(area);
            int x = area.left();
            for (const Segment& part : parts) {
                if (x > area.right()) break;
                painter->setPen(selected ? highlighted : colourOf(part.tone));
                const int width = metrics.horizontalAdvance(part.text);
                painter->drawText(QRect(x, area.top(), width + 1, area.height()),
                                  Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part.text);
                x += width;
            }
            painter->restore();
        } catch (const std::exception&) {
            // A row that cannot be drawn stays blank; the failure must not reach the event loop.
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const XmlTreeModel::Item& item = *model_->itemAt(index);
        if (model_->shapeOf(item) == XmlTreeModel::Shape::Container) {
            const QString tail = QString(QChar(0x2026)) + "</" + qs(item.node.nodeName()) + ">";
            size.rwidth() += QFontMetrics(option.font).horizontalAdvance(tail);
        }
        return size;
    }

private:
    bool folded(const XmlTreeModel::Item& item, const QModelIndex& index) const {
        return model_->shapeOf(item) == XmlTreeModel::Shape::Container && !view_->isExpanded(index);
    }

    const XmlTreeModel* model_;
    const QTreeView* view_;
};

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
    tree_->setItemDelegate(new XmlRowDelegate(model_, tree_, tree_));
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

void XmlView::load(const QString& path) {
    QString failure;
    try {
        // The shown document goes first, so that two large ones are never held at once.
        model_->clear();
        std::string bytes = files::readAll(QFile::encodeName(path).toStdString());
        XmlDocument document = XmlDocument::fromBytes(bytes);
        if (document.hasChildNodes()) {
            // The octets are no longer needed once parsed; only the document is kept.
            std::string().swap(bytes);
            model_->reset(std::move(document));
            showTree();
            return;
        }
        const XmlParseError& parseError = document.parseError();
        QString message = tr("XML parsing error: %1").arg(qs(parseError.reason));
        if (parseError.line > 0) {
            message += parseError.column > 0
                           ? tr(" (line %1, column %2)").arg(parseError.line).arg(parseError.column)
                           : tr(" (line %1)").arg(parseError.line);
        }
        const std::string decoded = text::decodeToUtf8(bytes, declaredEncoding(bytes));
        std::string().swap(bytes);
        showPlain(message, qs(decoded));
        return;
    } catch (const Error& error) {
        failure = qs(error.description());
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
    }
    try {
        model_->clear();
        showPlain(failure.isEmpty() ? tr("The file cannot be shown.")
                                    : tr("The file cannot be shown: %1").arg(failure),
                  QString());
    } catch (...) {
        // Nothing more can be shown without memory; the view stays empty.
    }
}

void XmlView::clear() {
    model_->clear();
    plain_.clear();
    text_->clear();
    error_->clear();
    error_->hide();
    stack_->setCurrentWidget(tree_);
}

bool XmlView::showsTree() const {
    return stack_->currentWidget() == tree_ && model_->rowCount() > 0;
}

QString XmlView::errorText() const {
    return error_->text();
}

QString XmlView::plainText() const {
    return plain_;
}

QAbstractItemModel* XmlView::model() const {
    return model_;
}

qint64 XmlView::createdRows() const {
    return model_->createdRows();
}

void XmlView::showTree() {
    error_->clear();
    error_->hide();
    plain_.clear();
    text_->clear();
    stack_->setCurrentWidget(tree_);
    expandWhileCheap();
}

void XmlView::showPlain(const QString& error, const QString& text) {
    error_->setText(error);
    error_->show();
    plain_ = text;
    text_->setPlainText(inDisplayLines(text));
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
        QApplication::clipboard()->setText(qs(node.xml()));
    } catch (const std::exception&) {
        // Nothing is copied when the node cannot be serialised.
    }
}

}  // namespace ostrel::ui
