#pragma once

#include <QString>
#include <QWidget>

#include "platform/XmlDocument.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;
class QTreeView;

namespace ostrel::ui {

class XmlTreeModel;

// A file read and parsed, ready to be shown: read on any thread, shown on the user-interface thread.
struct XmlPage {
    XmlDocument document;  // with child nodes when the file is well-formed
    QString declaration;   // its XML declaration as written, if any
    QString error;         // otherwise why not: the parse error, or why the file could not be read
    QString text;          // the file as text, in display lines, when it is not well-formed
};

// A read-only view of a local XML file, shown the way a web browser shows one: the whole document as an
// indented, syntax-coloured, collapsible tree ("xmlTree"). A file that is not well-formed is shown as plain
// text ("xmlText") with the parse error above it ("xmlError"); a file that cannot be read shows why instead.
// Each new file opens at its top. Find (Ctrl+F, then Enter or F3 for the next match, Shift with either for
// the previous one) searches the whole document, rows not yet made included.
class XmlView : public QWidget {
    Q_OBJECT

public:
    explicit XmlView(QWidget* parent = nullptr);
    ~XmlView() override;

    // Reads the file afresh and shows it. Never throws: a read or parse failure is shown in the view.
    void load(const QString& path);
    // The two halves of load: reading and parsing, which touches no widget and may run on any thread, and
    // showing what was read. Neither throws but for want of memory.
    static XmlPage read(const QString& path);
    void showPage(XmlPage page);
    // Lets go of the shown document.
    void release();
    // Selects the next (or previous) row after the current one that shows text, making its rows if they were
    // not made yet; false when the document holds no such row.
    bool find(const QString& text, bool forward);

private:
    void showTree();
    void showPlain(const QString& error, const QString& text);
    void buildFindBar();
    void addActions();
    void showFindBar();
    void findFromBar(bool forward);
    // Opens elements breadth first while the rows they reveal fit the budget; with wholeNodesOnly an element
    // whose rows would not fit stays closed, otherwise its first rows are made and opening stops there.
    void expandBreadthFirst(int budget, bool wholeNodesOnly);
    void expandAll();
    void fetchAtEnd(int scrollValue);
    void copySelection();

    XmlTreeModel* model_ = nullptr;
    QLabel* error_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* tree_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findText_ = nullptr;
    QLabel* findStatus_ = nullptr;
};

}  // namespace ostrel::ui
