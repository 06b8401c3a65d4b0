#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTreeView;

namespace ostrel::ui {

class XmlTreeModel;

// A read-only view of a local XML file, shown the way a web browser shows one: the whole document as an
// indented, syntax-coloured, collapsible tree ("xmlTree"). A file that is not well-formed is shown as plain
// text ("xmlText") with the parse error above it ("xmlError"); a file that cannot be read shows why instead.
// Each new file opens at its top.
class XmlView : public QWidget {
    Q_OBJECT

public:
    explicit XmlView(QWidget* parent = nullptr);
    ~XmlView() override;

    // Reads the file afresh and shows it. Never throws: a read or parse failure is shown in the view.
    void load(const QString& path);

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
};

}  // namespace ostrel::ui
