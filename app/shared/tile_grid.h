#pragma once

#include <cstddef>

namespace dedarida {

struct TileGrid {
    int columns = 1;
    int rows = 1;
    bool operator==(const TileGrid&) const = default;
};

// The grid in which `tiles` tiles of width:height `aspect` (at most) are
// largest in an area `width` by `height`; of grids that give the same size,
// the one with the fewest empty cells. One cell for no tile.
TileGrid GridFor(std::size_t tiles, double width, double height, double aspect);

} // namespace dedarida
