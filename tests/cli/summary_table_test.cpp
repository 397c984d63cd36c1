#include "app/cli/summary_table.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

TEST(SummaryTable, OneAlignedRowPerPortInTheOrderGiven) {
    const std::string table = SummaryTable({
        {"COM5", {"programmed", 0, 31.04, 3712.0, "FW ID  v4.1", {}}},
        {"/dev/ttyUSB3", {"port-error", 4, 0.01, {}, "", {}}},
    });
    EXPECT_EQ(table, "port          identity     result               time    data rate\n"
                     "COM5          FW ID  v4.1  programmed (exit 0)  31.0 s  3712 B/s (97%)\n"
                     "/dev/ttyUSB3  -            port-error (exit 4)  0.0 s   -\n");
}

} // namespace
} // namespace dedarida
