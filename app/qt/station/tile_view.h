#pragma once

#include <QListView>

namespace dedarida {

class TileDelegate;

// The tiles in a grid that fills the view: as many cells as tiles, each as
// large as the view allows, laid out again as the view or the count changes.
class TileView : public QListView {
public:
    TileView(TileDelegate& delegate, QWidget* parent);

    void setModel(QAbstractItemModel* model) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LayOut();

    TileDelegate& delegate_;
};

} // namespace dedarida
