#include "app/shared/tile_grid.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

struct GridRow {
    const char* name;
    std::size_t tiles;
    double width, height, aspect;
    TileGrid grid;
};

void PrintTo(const GridRow& row, std::ostream* out) {
    *out << row.name;
}

class Grid : public ::testing::TestWithParam<GridRow> {};

TEST_P(Grid, GivesTheTilesTheLargestSize) {
    const GridRow& row = GetParam();
    EXPECT_EQ(GridFor(row.tiles, row.width, row.height, row.aspect), row.grid);
}

INSTANTIATE_TEST_SUITE_P(
    Station, Grid,
    ::testing::Values(GridRow{"NoTile", 0, 1200, 800, 1.6, {1, 1}},
                      GridRow{"NoArea", 4, 0, 800, 1.6, {1, 1}},
                      GridRow{"One", 1, 1200, 800, 1.6, {1, 1}},
                      GridRow{"TwoSideBySide", 2, 1600, 800, 1.6, {2, 1}},
                      GridRow{"TwoAboveEachOtherWhenTall", 2, 400, 1000, 1.6, {1, 2}},
                      GridRow{"Four", 4, 1200, 800, 1.6, {2, 2}},
                      // 3 x 3 gives 250 px high tiles, 4 x 2 only 187.5.
                      GridRow{"EightOnAScreen", 8, 1200, 800, 1.6, {3, 3}},
                      GridRow{"EightOnAWideScreen", 8, 2400, 600, 1.6, {4, 2}},
                      GridRow{"Sixteen", 16, 1200, 800, 1.6, {4, 4}},
                      GridRow{"ThreeInARow", 3, 1600, 400, 1.6, {3, 1}},
                      // 2 x 2 and 3 x 1 both give 100 px; one leaves a cell empty.
                      GridRow{"AtOneSizeTheFewestEmptyCells", 3, 300, 200, 1.0, {3, 1}}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace dedarida
