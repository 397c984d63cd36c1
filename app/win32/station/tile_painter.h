#pragma once

#include "app/shared/station_board.h"

#include <memory>
#include <string>
#include <windows.h>

namespace dedarida {

// Draws tiles of the station's board with GDI, all of one cell size: the
// slot and its unit, the phase with a progress bar and the times, or the
// verdict large and in colour with its reason, hint and what to do next.
// Its fonts follow the cell's height. Main thread only.
class TilePainter {
public:
    TilePainter();
    ~TilePainter();
    TilePainter(const TilePainter&) = delete;
    TilePainter& operator=(const TilePainter&) = delete;

    // Paints `tile` in `cell`, keeping a small margin inside it.
    void Paint(HDC dc, const RECT& cell, const Tile& tile);

private:
    struct Fonts;

    const Fonts& FontsFor(const RECT& cell);

    std::unique_ptr<Fonts> fonts_;
};

// Wider than high, as a tile's lines are.
inline constexpr double TileAspect = 1.6;

} // namespace dedarida
