#include "app/shared/station_texts.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

TEST(StationTexts, ReadAsAnOperatorReadsThem) {
    EXPECT_EQ(ClockText(65), "1:05");
    EXPECT_EQ(ClockText(600), "10:00");
    EXPECT_EQ(ClockText(-3), "0:00");
    EXPECT_EQ(PercentText(std::nullopt), "-");
    EXPECT_EQ(PercentText(200.0 / 3), "66.7 %");
    EXPECT_EQ(UnitsText(1, 0), "1 unit, 0 failed");
    EXPECT_EQ(UnitsText(3, 1), "3 units, 1 failed");
    BoardHeader header;
    header.units = 1;
    header.passed = 1;
    header.yieldPercent = 100;
    header.firstPassYieldPercent = 100;
    EXPECT_EQ(CountersText(header), "1 unit   1 passed   0 failed   0 interrupted   yield 100.0 "
                                    "%   first-pass yield 100.0 %");
    header.units = 2;
    header.interrupted = 1;
    header.firstPassYieldPercent.reset();
    EXPECT_EQ(CountersText(header), "2 units   1 passed   0 failed   1 interrupted   yield 100.0 "
                                    "%   first-pass yield -");
}

} // namespace
} // namespace dedarida
