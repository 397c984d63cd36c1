#include "app/shared/tile_grid.h"

#include <algorithm>
#include <cmath>

namespace dedarida {

TileGrid GridFor(std::size_t tiles, double width, double height, double aspect) {
    TileGrid best;
    if (tiles == 0 || width <= 0 || height <= 0 || aspect <= 0)
        return best;
    const int count = static_cast<int>(tiles);
    double bestHeight = -1;
    int bestEmpty = 0;
    for (int columns = 1; columns <= count; ++columns) {
        const int rows = (count + columns - 1) / columns;
        const double tileHeight = std::min(width / columns / aspect, height / rows);
        const int empty = columns * rows - count;
        // Sizes a rounding apart are one size.
        const bool same = std::abs(tileHeight - bestHeight) < 1e-9;
        if ((!same && tileHeight > bestHeight) || (same && empty < bestEmpty)) {
            bestHeight = tileHeight;
            bestEmpty = empty;
            best = {columns, rows};
        }
    }
    return best;
}

} // namespace dedarida
