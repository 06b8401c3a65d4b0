#pragma once

#include <QWidget>

class QPushButton;

namespace ostrel::ui {

class XmlView;

// The result viewer: shows a reply document written to a local file.
class frmBrowse : public QWidget {
    Q_OBJECT
public:
    explicit frmBrowse(QWidget* parent = nullptr);
    // Shows the file at a local path, read afresh.
    void ShowPage(const QString& uri);

private slots:
    void Command1_Click();

private:
    XmlView* WebBrowser1;
    QPushButton* Command1;
};

}  // namespace ostrel::ui
