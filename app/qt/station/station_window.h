#pragma once

#include "app/qt/station/station_model.h"
#include "app/qt/station/tile_delegate.h"
#include "app/shared/station_board.h"
#include "fleet/station_stop.h"

#include <QWidget>

class QLabel;
class QTimer;

namespace dedarida {

class TileView;

// The operator's station window: a header (the station, its firmware and
// log, the counters, each slot's units and failures) above a tile per
// fixture position, all drawn from the board, which it reads a few times a
// second. Nothing in it changes what the station runs. Closing it while
// units run asks once, then stops the station as Ctrl-C does; it closes for
// good once the station has returned (StationEnded). GUI thread only.
class StationWindow : public QWidget {
public:
    static constexpr const char* Caption = "Dedarida Station";

    StationWindow(StationBoard& board, StationStop& stop);

    // Takes the board's snapshot now (the timer does it on its own).
    void Refresh();
    // The station has returned; `error` is why it could not run, if so.
    // The window closes.
    void StationEnded(const std::string& error);
    bool Ended() const { return ended_; }
    StationModel& Model() { return model_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowHeader(const BoardHeader& header, const std::vector<Tile>& tiles);

    StationBoard& board_;
    StationStop& stop_;
    StationModel model_;
    TileDelegate delegate_;
    TileView* view_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* firmware_ = nullptr;
    QLabel* counters_ = nullptr;
    QLabel* slots_ = nullptr;
    QLabel* notice_ = nullptr;
    QTimer* refresh_ = nullptr;
    bool stopping_ = false;
    bool ended_ = false;
};

} // namespace dedarida
