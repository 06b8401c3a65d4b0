#pragma once

#include <QWidget>

#include "ui/Twips.h"
#include "ui/XmlView.h"

class QPushButton;

namespace ostrel::ui {

// The result viewer: shows a reply document written to a local file.
class frmBrowse : public QWidget {
    Q_OBJECT
public:
    explicit frmBrowse(QWidget* parent = nullptr);
    // Shows the file at a local path, read afresh.
    void ShowPage(const QString& uri);
    // Shows a file already read (off the user-interface thread, by XmlView::read).
    void ShowPage(XmlPage page);

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void Command1_Click();

private:
    XmlView* WebBrowser1;
    QPushButton* Command1;
    AnchoredLayout placements;
};

}  // namespace ostrel::ui
