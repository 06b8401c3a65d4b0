#include "ui/XmlTreeModel.h"

#include <algorithm>
#include <exception>
#include <string>
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

// Find searches a row's whole text, beyond where the row cuts it.
constexpr std::size_t kWhole = std::string::npos;

using Shape = XmlTreeModel::Shape;
using Place = XmlTreeModel::Place;

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Content as one display line: runs of white space become one space (as a browser renders them), and content
// longer than limit octets is cut on a character boundary with an ellipsis.
std::string oneLineUtf8(std::string_view utf8, bool trim, std::size_t limit) {
    std::string out;
    out.reserve(std::min(utf8.size(), limit) + 4);
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
        if (out.size() >= limit && (static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            cut = true;
            break;
        }
        out += c;
    }
    if (space && !trim && !cut) out += ' ';
    if (cut) out += "\xE2\x80\xA6";
    return out;
}

QString oneLine(std::string_view utf8, bool trim) {
    return fromUtf8(oneLineUtf8(utf8, trim, kRowByteLimit));
}

// A document type declaration at the top of a document; its internal subset's declarations are its children.
bool isDoctype(const XmlNode& node) {
    return node.nodeType() == XmlNodeType::Other && node.parentNode().nodeType() == XmlNodeType::Document;
}

std::string closingUtf8(const XmlNode& node) {
    return isDoctype(node) ? std::string("]>") : "</" + node.nodeName() + ">";
}

// The shape of a node's own row (an end tag's row is a leaf).
Shape shapeOfNode(const XmlNode& node) {
    if (isDoctype(node) && node.firstChild()) return Shape::Container;
    if (node.nodeType() != XmlNodeType::Element) return Shape::Leaf;
    const XmlNode first = node.firstChild();
    if (!first) return Shape::Leaf;
    const XmlNodeType type = first.nodeType();
    const bool lone = !first.nextSibling() && (type == XmlNodeType::Text || type == XmlNodeType::CData);
    return lone && oneLine(first.text(), true).size() <= kInlineTextLimit ? Shape::Inline : Shape::Container;
}

// Writes a row's text in its coloured parts, part(tone, utf8) for each: what the view shows (content cut
// at limit) and what Find searches (limit kWhole) are the same text.
template <typename Part>
void writeRow(const XmlNode& node, bool endTag, Shape shape, std::size_t limit, Part&& part) {
    if (endTag) return part(isDoctype(node) ? Tone::Markup : Tone::Tag, closingUtf8(node));
    switch (node.nodeType()) {
        case XmlNodeType::Element: {
            const std::string name = node.nodeName();
            part(Tone::Tag, "<" + name);
            const auto attribute = [&](const std::string& attributeName, std::string_view value) {
                part(Tone::AttributeName, " " + attributeName);
                part(Tone::Text, "=");
                part(Tone::AttributeValue, '"' + oneLineUtf8(value, false, limit) + '"');
            };
            for (const auto& [prefix, uri] : node.namespaceDeclarations())
                attribute(prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix, uri);
            for (const XmlNode a : node.attributes()) attribute(a.nodeName(), a.text());
            if (shape == Shape::Leaf) return part(Tone::Tag, "/>");
            part(Tone::Tag, ">");
            if (shape != Shape::Inline) return;
            const XmlNode child = node.firstChild();
            if (child.nodeType() == XmlNodeType::CData) {
                part(Tone::Markup, "<![CDATA[");
                part(Tone::Text, oneLineUtf8(child.text(), false, limit));
                part(Tone::Markup, "]]>");
            } else {
                part(Tone::Text, oneLineUtf8(child.text(), true, limit));
            }
            return part(Tone::Tag, "</" + name + ">");
        }
        case XmlNodeType::Text:
            return part(Tone::Text, oneLineUtf8(node.text(), true, limit));
        case XmlNodeType::CData:
            part(Tone::Markup, "<![CDATA[");
            part(Tone::Text, oneLineUtf8(node.text(), false, limit));
            return part(Tone::Markup, "]]>");
        case XmlNodeType::Comment:
            return part(Tone::Comment, "<!--" + oneLineUtf8(node.text(), false, limit) + "-->");
        case XmlNodeType::ProcessingInstruction: {
            const std::string data = oneLineUtf8(node.text(), true, limit);
            return part(Tone::Markup, "<?" + node.nodeName() + (data.empty() ? "" : " " + data) + "?>");
        }
        case XmlNodeType::EntityReference:
            return part(Tone::Entity, "&" + node.nodeName() + ";");
        default:
            break;
    }
    const std::string whole = node.xml();
    if (!isDoctype(node)) return part(Tone::Markup, oneLineUtf8(whole, true, limit));
    // Its public and system identifiers, and the opening of its internal subset when it has one, whose
    // declarations are the rows below.
    const std::size_t subset = whole.find(" [\n");
    part(Tone::Markup,
         oneLineUtf8(subset == std::string::npos ? std::string_view(whole)
                                                 : std::string_view(whole).substr(0, subset + 2),
                     true, limit));
}

// The row after a node's own rows: its next sibling's, or the end tag of the element it is in.
Place after(const XmlNode& node) {
    if (const XmlNode next = node.nextSibling()) return {next};
    const XmlNode up = node.parentNode();
    if (!up || up.nodeType() == XmlNodeType::Document) return {};
    return {up, true};
}

bool containsFolded(std::string_view text, std::string_view lowerNeedle) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                       [&](char a, char b) { return fold(a) == b; }) != text.end();
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
    return fromUtf8(closingUtf8(item.node));
}

XmlTreeModel::Place XmlTreeModel::placeAt(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    const Item& item = *itemAt(index);
    return {item.node, item.endTag, item.declaration};
}

XmlTreeModel::Place XmlTreeModel::firstPlace() const {
    if (!declaration_.isEmpty() && document_.hasChildNodes()) return {XmlNode(), false, true};
    return {document_.firstChild()};
}

XmlTreeModel::Place XmlTreeModel::find(const Place& from, std::string_view needle, bool forward) const {
    if (needle.empty()) return {};
    const std::string lowerNeedle = lowerCase(needle);
    const std::string declaration = declaration_.toStdString();
    // Reused from row to row: a search walks every node of documents of megabytes.
    std::string scratch;
    const auto shows = [&](const Place& place, Shape shape) {
        scratch.clear();
        if (place.declaration)
            scratch = declaration;
        else
            writeRow(place.node, place.endTag, shape, kWhole,
                     [&scratch](Tone, std::string_view text) { scratch.append(text); });
        return containsFolded(scratch, lowerNeedle);
    };
    const auto shapeAt = [](const Place& place) {
        return place.declaration || place.endTag ? Shape::Leaf : shapeOfNode(place.node);
    };
    // One walk from the top: the first match after from, or the last before it; failing that, the match
    // nearest the other end of the document.
    Place before;
    Place wrapped;
    bool passed = !from;
    for (Place place = firstPlace(); place;) {
        const Shape shape = shapeAt(place);
        if (place == from) {
            passed = true;
        } else if (shows(place, shape)) {
            if (forward && passed) return place;
            if (forward && !wrapped) wrapped = place;
            if (!forward && !passed) before = place;
            if (!forward) wrapped = place;
        }
        // A short text shown on its element's row has no row of its own.
        if (place.declaration)
            place = {document_.firstChild()};
        else if (shape == Shape::Container)
            place = {place.node.firstChild()};
        else
            place = after(place.node);
    }
    if (!forward && before) return before;
    if (wrapped) return wrapped;
    return from && shows(from, shapeAt(from)) ? from : Place();
}

QModelIndex XmlTreeModel::reveal(const Place& place) {
    if (place.declaration) {
        const bool shown = !root_.children.empty() && root_.children.front()->declaration;
        return shown ? indexOf(*root_.children.front()) : QModelIndex();
    }
    std::vector<XmlNode> path;
    for (XmlNode node = place.node; node && node.nodeType() != XmlNodeType::Document;
         node = node.parentNode())
        path.push_back(node);
    Item* item = &root_;
    for (auto step = path.rbegin(); step != path.rend(); ++step) {
        if (item != &root_ && shapeOf(*item) != Shape::Container) return {};
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
    if (item == &root_) return {};
    if (place.endTag) {
        // The end tag is the last row: every batch before it is made. Each round makes one batch.
        while (fetchNextBatch(indexOf(*item))) {
        }
        if (item->children.empty() || !item->children.back()->endTag) return {};
        item = item->children.back().get();
    }
    return indexOf(*item);
}

QModelIndex XmlTreeModel::indexOf(const Item& item) const {
    return &item == &root_ ? QModelIndex() : createIndex(item.row, 0, const_cast<Item*>(&item));
}

const XmlTreeModel::Item* XmlTreeModel::itemAt(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const Item*>(index.internalPointer()) : &root_;
}

XmlTreeModel::Shape XmlTreeModel::shapeOf(const Item& item) const {
    if (item.shape != Shape::Unknown) return item.shape;
    const Shape shape = item.endTag ? Shape::Leaf : shapeOfNode(item.node);
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
    if (item.declaration) {
        out.push_back({Tone::Markup, declaration_});
        return out;
    }
    writeRow(item.node, item.endTag, shapeOf(item), kRowByteLimit, [&out](Tone tone, std::string_view text) {
        out.push_back({tone, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))});
    });
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
