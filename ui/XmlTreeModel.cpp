#include "ui/XmlTreeModel.h"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

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

QString joined(const Segments& segments) {
    QString text;
    for (const Segment& segment : segments) text += segment.text;
    return text;
}

}  // namespace

QString fromUtf8(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void XmlTreeModel::reset(XmlDocument document) {
    beginResetModel();
    // Rows hold handles into the document: they go first.
    root_ = Item{};
    document_ = std::move(document);
    root_.shape = Shape::Container;
    endResetModel();
    fetch(root_);
}

const XmlTreeModel::Item* XmlTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const Item*>(index.internalPointer()) : &root_;
}

XmlTreeModel::Shape XmlTreeModel::shapeOf(const Item& item) const {
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

int XmlTreeModel::childCountUpTo(const Item& item, int limit) {
    int count = 0;
    for (XmlNode n = item.node.firstChild(); n && count < limit; n = n.nextSibling()) ++count;
    return count;
}

Segments XmlTreeModel::segments(const Item& item) const {
    Segments out;
    auto add = [&out](Tone tone, QString text) { out.push_back({tone, std::move(text)}); };
    if (item.endTag) {
        add(Tone::Tag, "</" + fromUtf8(item.node.nodeName()) + ">");
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
            // At the top of a document this is the document type declaration.
            if (item.parent == &root_) {
                add(Tone::Markup, "<!DOCTYPE " + fromUtf8(node.nodeName()) + ">");
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
    return item->children.empty() && !item->complete && hasChildren(parent);
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
            const QModelIndex parentIndex = &item == &root_ ? QModelIndex() : createIndex(item.row, 0, &item);
            beginInsertRows(parentIndex, first, first + static_cast<int>(made.size()) - 1);
            for (auto& child : made) item.children.push_back(std::move(child));
            item.pending = next;
            item.complete = done;
            endInsertRows();
        } else {
            item.pending = next;
            item.complete = done;
        }
    } catch (const std::exception&) {
        // Out of memory: the rows already made stay; the rest is simply not shown.
    }
}

}  // namespace ostrel::ui
