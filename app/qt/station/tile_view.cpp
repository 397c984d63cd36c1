#include "app/qt/station/tile_view.h"

#include "app/qt/station/tile_delegate.h"
#include "app/shared/tile_grid.h"

#include <QResizeEvent>

namespace dedarida {

namespace {

// Wider than high, as a tile's lines are.
constexpr double TileAspect = 1.6;

} // namespace

TileView::TileView(TileDelegate& delegate, QWidget* parent)
    : QListView(parent), delegate_(delegate) {
    setItemDelegate(&delegate_);
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The grid always fits: a scroll bar would only narrow it.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TileView::setModel(QAbstractItemModel* model) {
    QListView::setModel(model);
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { LayOut(); });
    LayOut();
}

void TileView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    LayOut();
}

void TileView::LayOut() {
    const int tiles = model() ? model()->rowCount() : 0;
    const QSize area = viewport()->size();
    const TileGrid grid =
        GridFor(static_cast<std::size_t>(tiles), area.width(), area.height(), TileAspect);
    // A pixel to spare, so that the last column never wraps.
    const QSize cell((area.width() - 1) / grid.columns, (area.height() - 1) / grid.rows);
    if (cell == gridSize())
        return;
    delegate_.SetCellSize(cell);
    setGridSize(cell);
}

} // namespace dedarida
