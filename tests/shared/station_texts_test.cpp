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

    header.info.firmware = "fw451.s28 (v4.5.1)";
    header.shortSha256 = "9f2c00000000";
    EXPECT_EQ(FirmwareText(header),
              "Firmware fw451.s28 (v4.5.1)   SHA-256 9f2c00000000   log none");
    header.info.job = "line-3";
    header.info.log = "units.jsonl";
    EXPECT_EQ(FirmwareText(header),
              "Firmware fw451.s28 (v4.5.1)   SHA-256 9f2c00000000   job line-3   log units.jsonl");

    EXPECT_EQ(SlotsText({}), "no unit yet");
    Tile worn;
    worn.label = "2";
    worn.units = 3;
    worn.failures = 3;
    worn.flagged = true;
    Tile fresh;
    fresh.label = "1";
    fresh.units = 1;
    EXPECT_EQ(SlotsText({fresh, worn}),
              "slot 1: 1 unit, 0 failed     slot 2: 3 units, 3 failed (last 3 failed: check the "
              "fixture)");

    EXPECT_EQ(StopQuestion(1),
              "1 unit is still running. Stop it now? Each ends \"interrupted\" with its record.");
    EXPECT_EQ(StopQuestion(2), "2 units are still running. Stop them now? Each ends "
                               "\"interrupted\" with its record.");
}

} // namespace
} // namespace dedarida
