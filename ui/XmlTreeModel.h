#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/XmlDocument.h"

namespace ostrel::ui {

// The kinds of text in a row, each drawn in its own colour.
enum class Tone : std::uint8_t { Tag, AttributeName, AttributeValue, Text, Comment, Markup, Entity };

struct Segment {
    Tone tone;
    QString text;
};
using Segments = std::vector<Segment>;

QString fromUtf8(const std::string& utf8);

// The document as a tree of rows, made on demand. Each row stands for one node (or for the end tag that
// closes an element with content); rows for a node's children exist only once the view has opened that node,
// so a document of tens of megabytes opens at once and a collapsed subtree costs nothing beyond the parsed
// document.
class XmlTreeModel : public QAbstractItemModel {
public:
    // Leaf: no content (<a/>); Inline: one short text, shown on the element's row; Container: rows below.
    enum class Shape : std::uint8_t { Unknown, Leaf, Inline, Container };

    struct Item {
        XmlNode node;  // for an end-tag row: the element it closes; none for the XML declaration's row
        Item* parent = nullptr;
        int row = 0;
        bool endTag = false;
        bool declaration = false;
        bool started = false;   // its first batch of child rows has been made
        bool complete = false;  // every child row has been made
        Shape shape = Shape::Unknown;
        XmlNode pending;  // the next child node without a row
        std::vector<std::unique_ptr<Item>> children;
    };

    // Where a row stands in the document, whether the row has been made yet or not: a node's own row, the
    // end tag that closes it, or the XML declaration's row. Empty for no row.
    struct Place {
        XmlNode node;
        bool endTag = false;
        bool declaration = false;
        explicit operator bool() const { return node || declaration; }
        bool operator==(const Place&) const = default;
    };

    using QAbstractItemModel::QAbstractItemModel;

    // Shows a document, below its XML declaration when it has one; the rows of the one shown before go first.
    void reset(XmlDocument document, const QString& declaration = {});
    void clear() { reset(XmlDocument()); }

    const Item* itemAt(const QModelIndex& index) const;
    Shape shapeOf(const Item& item) const;
    // The row's text in its coloured parts.
    Segments segments(const Item& item) const;
    // How many child nodes an element has, counting no further than limit.
    static int childCountUpTo(const Item& item, int limit);
    XmlNode nodeAt(const QModelIndex& index) const;
    // Makes the next batch of rows under parent; false when it already has them all.
    bool fetchNextBatch(const QModelIndex& parent);
    // What closes a row's node on a row of its own, or after it when it is folded: "</name>", or "]>" for a
    // document type declaration with an internal subset.
    static QString closing(const Item& item);

    Place placeAt(const QModelIndex& index) const;
    // The next row after from (the first row when from is empty) in the order the rows stand whose text
    // holds needle, ASCII letters in either case; or the previous one. The search wraps around the document's
    // end. A row's text is searched whole, also where the row cuts it short.
    Place find(const Place& from, std::string_view needle, bool forward) const;
    // The row at a place, with every row on its path made; invalid for an empty place.
    QModelIndex reveal(const Place& place);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    Place firstPlace() const;
    void fetch(Item& item);
    QModelIndex indexOf(const Item& item) const;

    XmlDocument document_;
    QString declaration_;
    Item root_;
};

}  // namespace ostrel::ui
