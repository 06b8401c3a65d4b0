#pragma once

#include <QStyledItemDelegate>

class QTreeView;

namespace ostrel::ui {

class XmlTreeModel;

// Paints a row of the XML tree in the colours of its parts. A collapsed element shows "…</name>" after its
// start tag, as a browser shows a folded element.
class XmlRowPainter : public QStyledItemDelegate {
public:
    XmlRowPainter(const XmlTreeModel* model, const QTreeView* view, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const XmlTreeModel* model_;
    const QTreeView* view_;
};

}  // namespace ostrel::ui
