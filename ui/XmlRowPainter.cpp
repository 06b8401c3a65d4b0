#include "ui/XmlRowPainter.h"

#include <QApplication>
#include <QPainter>
#include <QTreeView>

#include <exception>

#include "ui/XmlTreeModel.h"

namespace ostrel::ui {

namespace {

QColor colourOf(Tone tone) {
    // The colours browsers use for their XML tree, on the white page they draw it on.
    switch (tone) {
        case Tone::Tag:
            return QColor(0x88, 0x12, 0x80);
        case Tone::AttributeName:
            return QColor(0x99, 0x45, 0x00);
        case Tone::AttributeValue:
            return QColor(0x1a, 0x1a, 0xa6);
        case Tone::Text:
            return QColor(0x00, 0x00, 0x00);
        case Tone::Comment:
            return QColor(0x23, 0x6e, 0x25);
        case Tone::Markup:
            return QColor(0x80, 0x80, 0x80);
        case Tone::Entity:
            return QColor(0x1a, 0x1a, 0xa6);
    }
    return QColor(Qt::black);
}

const QString kEllipsis = QString(QChar(0x2026));

}  // namespace

XmlRowPainter::XmlRowPainter(const XmlTreeModel* model, const QTreeView* view, QObject* parent)
    : QStyledItemDelegate(parent), model_(model), view_(view) {}

void XmlRowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    try {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const XmlTreeModel::Item& item = *model_->itemAt(index);
        Segments parts = model_->segments(item);
        if (model_->shapeOf(item) == XmlTreeModel::Shape::Container && !view_->isExpanded(index)) {
            parts.push_back({Tone::Markup, kEllipsis});
            parts.push_back({Tone::Tag, XmlTreeModel::closing(item)});
        }
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        // The selection's own text colour, of the state the style paints the selection in (an inactive
        // window's selection is often pale, where the active one's white text would vanish).
        const QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) == 0  ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active) != 0 ? QPalette::Active
                                                                                     : QPalette::Inactive;
        const QColor highlighted = opt.palette.color(group, QPalette::HighlightedText);
        const QFontMetrics metrics(opt.font);

        painter->save();
        painter->setFont(opt.font);
        painter->setClipRect(area);
        int x = area.left();
        for (const Segment& part : parts) {
            if (x > area.right()) break;
            painter->setPen(selected ? highlighted : colourOf(part.tone));
            const int width = metrics.horizontalAdvance(part.text);
            painter->drawText(QRect(x, area.top(), width + 1, area.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, part.text);
            x += width;
        }
        painter->restore();
    } catch (const std::exception&) {
        // A row that cannot be drawn stays blank; the failure must not reach the event loop.
    }
}

QSize XmlRowPainter::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const XmlTreeModel::Item& item = *model_->itemAt(index);
    if (model_->shapeOf(item) == XmlTreeModel::Shape::Container)
        size.rwidth() += QFontMetrics(option.font).horizontalAdvance(kEllipsis + XmlTreeModel::closing(item));
    return size;
}

}  // namespace ostrel::ui
