#pragma once

#include <QString>
#include <QWidget>

class QAbstractItemModel;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTreeView;

namespace ostrel::ui {

class XmlTreeModel;

// A read-only view of a local XML file, shown the way a web browser shows one: the whole document as an
// indented, syntax-coloured, collapsible tree. A file that is not well-formed is shown as plain text with the
// parse error above it; a file that cannot be read shows why instead.
//
// The tree is built lazily: a node's rows are made only when the view asks for them, so a document of tens of
// megabytes opens at once and a collapsed subtree costs nothing beyond the parsed document.
class XmlView : public QWidget {
    Q_OBJECT

public:
    explicit XmlView(QWidget* parent = nullptr);
    ~XmlView() override;

    // Reads the file afresh and shows it. Never throws: a read or parse failure is shown in the view.
    void load(const QString& path);
    // Empties the view and releases the document.
    void clear();

    // True when the last load produced a tree.
    bool showsTree() const;
    // The parse or read error shown above the plain text; empty when none.
    QString errorText() const;
    // The text shown in the plain-text mode (the file as text when it is not well-formed).
    QString plainText() const;
    // The tree model: one column; an element with content ends with a row for its end tag.
    QAbstractItemModel* model() const;
    QTreeView* treeView() const { return tree_; }
    // How many rows the model has made since the last load; shows that unopened subtrees cost nothing.
    qint64 createdRows() const;

private:
    void showTree();
    void showPlain(const QString& error, const QString& text);
    void expandWhileCheap();
    void fetchAtEnd(int scrollValue);
    void copySelection();

    XmlTreeModel* model_ = nullptr;
    QLabel* error_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* tree_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QString plain_;
};

}  // namespace ostrel::ui
