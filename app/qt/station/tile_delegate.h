#pragma once

#include <QStyledItemDelegate>

namespace dedarida {

// Draws a tile of the StationModel from its roles alone: its slot and
// unit, the phase with a progress bar and the times, or the verdict large
// and in colour with its reason, hint and what to do next. Every tile is
// the size of a cell of the view's grid.
class TileDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The size of a cell; tiles keep a small margin inside it.
    void SetCellSize(QSize size) { cell_ = size; }

private:
    QSize cell_{320, 220};
};

} // namespace dedarida
