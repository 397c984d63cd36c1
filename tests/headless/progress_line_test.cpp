#include "app/headless/progress_line.h"
#include "app/headless/supervised_lines.h"

#include <gtest/gtest.h>

namespace dedarida {
namespace {

ProgressSnapshot Programming() {
    return {"programming", 44, 43, 75.4, 3712.0};
}

TEST(ProgressLine, HoldsEveryFieldAndFillsTheBarByThePercentDone) {
    const std::string line = ProgressLine(Programming(), 120);
    EXPECT_EQ(line.size(), 120u);
    EXPECT_NE(line.find(" 50%  block 44/86   3712 B/s ( 97% of 38400 baud)  1:15 elapsed  0:12 "
                        "left  programming"),
              std::string::npos)
        << line;
    const std::size_t bar = line.find(']') - 1;
    const auto filled = std::count(line.begin(), line.begin() + static_cast<long>(bar) + 1, '#');
    EXPECT_EQ(static_cast<std::size_t>(filled), bar / 2);
}

TEST(ProgressLine, AnEightyColumnTerminalGetsTheShortFormWithABar) {
    const std::string line = ProgressLine(Programming(), 79);
    EXPECT_TRUE(line.starts_with("[")) << line;
    EXPECT_TRUE(line.ends_with("]  50% 44/86 3712B/s  97% 1:15 -0:12 programming")) << line;
}

TEST(ProgressLine, NeverExceedsTheWidthGiven) {
    for (const std::size_t width : {0, 1, 20, 60, 90, 200})
        EXPECT_LE(ProgressLine(Programming(), width).size(), width) << width;
}

TEST(ProgressLine, BeforeProgrammingThereIsNoRateAndNoTimeLeft) {
    const std::string line = ProgressLine({"waiting for the bootloader", 0, 0, 4.0, {}}, 120);
    EXPECT_NE(line.find("  0%  block  0/86      - B/s  0:04 elapsed  -:-- left  waiting for the "
                        "bootloader"),
              std::string::npos)
        << line;
}

TEST(ProgressLine, TheCheckCountsAsAllBlocksDone) {
    EXPECT_EQ((ProgressSnapshot{"checking CRC", 86, 86, 30, 3700.0}).Percent(), 100);
    EXPECT_EQ((ProgressSnapshot{"programming", 86, 85, 30, 3700.0}).Percent(), 98);
}

TEST(SupervisedLines, LiveAndSummaryLinesComeBackAsTheyWent) {
    const ProgressSnapshot snapshot = Programming();
    EXPECT_EQ(ParseLiveLine(LiveLine(snapshot)), snapshot);
    const ProgressSnapshot before{"identity", 0, 0, 0.5, {}};
    EXPECT_EQ(ParseLiveLine(LiveLine(before)), before);

    const UpgradeSummary summary{"program-fail", 1, 31.25, 3650.5, "FW ID  v4.1"};
    const auto back = ParseSummaryLine(SummaryLine(summary));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->result, summary.result);
    EXPECT_EQ(back->exitStatus, 1);
    EXPECT_DOUBLE_EQ(back->seconds, 31.25);
    EXPECT_DOUBLE_EQ(*back->bytesPerSecond, 3650.5);
    EXPECT_EQ(back->identity, "FW ID  v4.1");
    EXPECT_EQ(ParseSummaryLine(SummaryLine({"port-error", 4, 0, {}, ""}))->identity, "");
}

TEST(SupervisedLines, OrdinaryLinesAreNeitherLiveNorSummary) {
    for (const char* line : {"status: START UPGRADE", "live: x", "summary: 0 1", ""}) {
        EXPECT_FALSE(ParseLiveLine(line)) << line;
        EXPECT_FALSE(ParseSummaryLine(line)) << line;
    }
}

} // namespace
} // namespace dedarida
