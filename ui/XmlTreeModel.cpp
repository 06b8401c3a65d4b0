#include "ui/XmlTreeModel.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

#include "ui/Text.h"

namespace ostrel::ui {

namespace {

// Rows are made in batches so that an element with a million children opens as fast as one with ten; the
// view asks for the next batch when it is scrolled to the end of what it has.
constexpr std::size_t kFetchBatch = 10000;
// Text up to this many characters stays on its element's row, as browsers show <href>/a.xml</href>.
constexpr qsizetype kInlineTextLimit = 120;
// A row is one line: longer content is cut there (the whole node can still be copied).
constexpr std::size_t kRowByteLimit = 4000;

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
    QString text = fromUtf8(out);
    if (cut) text += QChar(0x2026);
    return text;
}

// A document type declaration at the top of a document; its internal subset's declarations are its children.
bool isDoctype(const XmlNode& node) {
    return node.nodeType() == XmlNodeType::Other && node.parentNode().nodeType() == XmlNodeType::Document;
}

// The children that have rows: those of an element, and the declarations of an internal subset. An entity
// reference's replacement is never shown.
bool opensInto(const XmlNode& node) {
    return node.nodeType() == XmlNodeType::Element || isDoctype(node);
}

XmlNode nextInDocumentOrder(XmlNode node) {
    if (opensInto(node) && node.firstChild()) return node.firstChild();
    for (; node && node.nodeType() != XmlNodeType::Document; node = node.parentNode()) {
        if (XmlNode next = node.nextSibling()) return next;
    }
    return {};
}

bool containsFolded(std::string_view text, std::string_view lowerNeedle) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                       [&](char a, char b) { return fold(a) == b; }) != text.end();
}

// Whether what a node's row shows of the node itself holds the needle: an element's name and attributes as
// the row writes them (so that "item id=\"7" is found), a text's or comment's content, a declaration's text.
// The scratch string is reused from node to node: a search walks every node of documents of megabytes.
bool shows(const XmlNode& node, std::string_view lowerNeedle, std::string& scratch) {
    switch (node.nodeType()) {
        case XmlNodeType::Element: {
            scratch = node.nodeName();
            for (const XmlNode attribute : node.attributes())
                scratch.append(" ")
                    .append(attribute.nodeName())
                    .append("=\"")
                    .append(attribute.text())
                    .append("\"");
            return containsFolded(scratch, lowerNeedle);
        }
        case XmlNodeType::EntityReference:
        case XmlNodeType::ProcessingInstruction:
            return containsFolded(node.nodeName(), lowerNeedle) || containsFolded(node.text(), lowerNeedle);
        case XmlNodeType::Other:
            return containsFolded(isDoctype(node) ? node.nodeName() : node.xml(), lowerNeedle);
        default:
            return containsFolded(node.text(), lowerNeedle);
    }
}

QString joined(const Segments& segments) {
    QString text;
    for (const Segment& segment : segments) text += segment.text;
    return text;
}

}  // namespace

QString fromUtf8(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void XmlTreeModel::reset(XmlDocument document, const QString& declaration) {
    beginResetModel();
    // Rows hold handles into the document: they go first.
    root_ = Item{};
    document_ = std::move(document);
    declaration_ = declaration;
    root_.shape = Shape::Container;
    if (!declaration_.isEmpty() && document_.hasChildNodes()) {
        auto row = std::make_unique<Item>();
        row->parent = &root_;
        row->declaration = true;
        row->shape = Shape::Leaf;
        row->complete = true;
        root_.children.push_back(std::move(row));
    }
    endResetModel();
    fetch(root_);
}

QString XmlTreeModel::closing(const Item& item) {
    return isDoctype(item.node) ? QStringLiteral("]>") : "</" + fromUtf8(item.node.nodeName()) + ">";
}

XmlNode XmlTreeModel::find(XmlNode from, std::string_view needle, bool forward) const {
    if (needle.empty()) return {};
    const std::string lowerNeedle = lowerCase(needle);
    // One walk from the top: the first match after from, or the last before it; failing that, the match
    // nearest the other end of the document.
    XmlNode before;
    XmlNode wrapped;
    bool passed = !from;
    std::string scratch;
    for (XmlNode node = document_.firstChild(); node; node = nextInDocumentOrder(node)) {
        if (node == from) {
            passed = true;
            continue;
        }
        if (!shows(node, lowerNeedle, scratch)) continue;
        if (forward && passed) return node;
        if (forward && !wrapped) wrapped = node;
        if (!forward && !passed) before = node;
        if (!forward) wrapped = node;
    }
    if (!forward && before) return before;
    if (wrapped) return wrapped;
    return from && shows(from, lowerNeedle, scratch) ? from : XmlNode();
}

QModelIndex XmlTreeModel::reveal(XmlNode node) {
    std::vector<XmlNode> path;
    for (; node && node.nodeType() != XmlNodeType::Document; node = node.parentNode()) path.push_back(node);
    Item* item = &root_;
    for (auto step = path.rbegin(); step != path.rend(); ++step) {
        // A short text is shown on its element's row.
        if (item != &root_ && shapeOf(*item) != Shape::Container) break;
        if (!item->started) fetch(*item);
        Item* child = nullptr;
        for (std::size_t next = 0; !child;) {
            for (; next < item->children.size() && !child; ++next) {
                Item& candidate = *item->children[next];
                if (candidate.node == *step && !candidate.endTag) child = &candidate;
            }
            if (!child && (item->complete || !fetchNextBatch(indexOf(*item)))) return {};
        }
        item = child;
    }
    return item == &root_ ? QModelIndex() : indexOf(*item);
}

QModelIndex XmlTreeModel::indexOf(const Item& item) const {
    return &item == &root_ ? QModelIndex() : createIndex(item.row, 0, const_cast<Item*>(&item));
}

const XmlTreeModel::Item* XmlTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const Item*>(index.internalPointer()) : &root_;
}

XmlTreeModel::Shape XmlTreeModel::shapeOf(const Item& item) const {
    if (item.shape != Shape::Unknown) return item.shape;
    Shape shape = Shape::Leaf;
    if (!item.endTag && isDoctype(item.node) && item.node.firstChild()) shape = Shape::Container;
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

int XmlTreeModel::childCountUpTo(const Item& item, int limit) {
    int count = 0;
    for (XmlNode n = item.node.firstChild(); n && count < limit; n = n.nextSibling()) ++count;
    return count;
}

Segments XmlTreeModel::segments(const Item& item) const {
    Segments out;
    auto add = [&out](Tone tone, QString text) { out.push_back({tone, std::move(text)}); };
    if (item.declaration) {
        add(Tone::Markup, declaration_);
        return out;
    }
    if (item.endTag) {
        add(isDoctype(item.node) ? Tone::Markup : Tone::Tag, closing(item));
        return out;
    }
    const XmlNode& node = item.node;
    switch (node.nodeType()) {
        case XmlNodeType::Element: {
            const QString name = fromUtf8(node.nodeName());
            add(Tone::Tag, "<" + name);
            for (const auto& [prefix, uri] : node.namespaceDeclarations()) {
                add(Tone::AttributeName,
                    prefix.empty() ? QStringLiteral(" xmlns") : " xmlns:" + fromUtf8(prefix));
                add(Tone::Text, QStringLiteral("="));
                add(Tone::AttributeValue, '"' + oneLine(uri, false) + '"');
            }
            for (const XmlNode attribute : node.attributes()) {
                add(Tone::AttributeName, " " + fromUtf8(attribute.nodeName()));
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
                "<?" + fromUtf8(node.nodeName()) + (data.isEmpty() ? QString() : " " + data) + "?>");
            break;
        }
        case XmlNodeType::EntityReference:
            add(Tone::Entity, "&" + fromUtf8(node.nodeName()) + ";");
            break;
        default:
            if (isDoctype(node)) {
                // Its public and system identifiers, and the opening of its internal subset when it has one,
                // whose declarations are the rows below.
                const std::string whole = node.xml();
                const std::size_t subset = whole.find(" [\n");
                add(Tone::Markup,
                    oneLine(subset == std::string::npos ? std::string_view(whole)
                                                        : std::string_view(whole).substr(0, subset + 2),
                            true));
            } else {
                add(Tone::Markup, oneLine(node.xml(), true));
            }
            break;
    }
    return out;
}

XmlNode XmlTreeModel::nodeAt(const QModelIndex& index) const {
    return index.isValid() ? itemAt(index)->node : XmlNode();
}

QModelIndex XmlTreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Item* item = itemAt(parent);
    if (column != 0 || row < 0 || static_cast<std::size_t>(row) >= item->children.size()) return {};
    return createIndex(row, 0, item->children[static_cast<std::size_t>(row)].get());
}

QModelIndex XmlTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const Item* up = itemAt(child)->parent;
    if (!up || up == &root_) return {};
    return createIndex(up->row, 0, const_cast<Item*>(up));
}

int XmlTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return static_cast<int>(itemAt(parent)->children.size());
}

bool XmlTreeModel::hasChildren(const QModelIndex& parent) const {
    if (parent.column() > 0) return false;
    const Item* item = itemAt(parent);
    if (item == &root_) return !root_.children.empty() || !root_.complete;
    return shapeOf(*item) == Shape::Container;
}

// Only the first batch is offered here: the view asks again on every layout of an open node, which would make
// rows for everything in the end. Later batches come from fetchNextBatch when the view is scrolled to the end
// of what it has.
bool XmlTreeModel::canFetchMore(const QModelIndex& parent) const {
    if (parent.column() > 0) return false;
    const Item* item = itemAt(parent);
    return !item->started && hasChildren(parent);
}

void XmlTreeModel::fetchMore(const QModelIndex& parent) {
    if (canFetchMore(parent)) fetch(*const_cast<Item*>(itemAt(parent)));
}

bool XmlTreeModel::fetchNextBatch(const QModelIndex& parent) {
    if (parent.column() > 0 || !hasChildren(parent)) return false;
    Item* item = const_cast<Item*>(itemAt(parent));
    if (item->complete) return false;
    fetch(*item);
    return true;
}

Qt::ItemFlags XmlTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (shapeOf(*itemAt(index)) != Shape::Container) flags |= Qt::ItemNeverHasChildren;
    return flags;
}

QVariant XmlTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    try {
        return joined(segments(*itemAt(index)));
    } catch (const std::exception&) {
        // Out of memory for one row: show it empty rather than let the failure into the event loop.
        return {};
    }
}

void XmlTreeModel::fetch(Item& item) {
    try {
        XmlNode next = !item.started ? (&item == &root_ ? document_.firstChild() : item.node.firstChild())
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
            beginInsertRows(indexOf(item), first, first + static_cast<int>(made.size()) - 1);
            for (auto& child : made) item.children.push_back(std::move(child));
            item.pending = next;
            item.started = true;
            item.complete = done;
            endInsertRows();
        } else {
            item.pending = next;
            item.started = true;
            item.complete = done;
        }
    } catch (const std::exception&) {
        // Out of memory: the rows already made stay; the rest is simply not shown.
    }
}

}  // namespace ostrel::ui
