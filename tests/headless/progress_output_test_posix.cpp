#include "tests/headless/headless_fixture.h"
#include "tests/headless/terminal.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dedarida::test::Bars;
using dedarida::test::Headless;
using dedarida::test::Screen;
using dedarida::test::Terminal;

TEST_F(Headless, OnATerminalOneLineIsRedrawnInPlaceNarrowerAfterAResizeAndEndsAsTheResult) {
    Terminal terminal(120);
    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid =
        dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", terminal.Slave());
    std::size_t barsBeforeResize = 0;
    const std::string output = terminal.ReadAll([&](const std::string& sofar) {
        if (barsBeforeResize == 0 && sofar.find("block 40/86") != std::string::npos) {
            barsBeforeResize = Bars(sofar).size();
            terminal.SetWidth(66);
        }
    });
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);
    device.Stop();

    const auto bars = Bars(output);
    ASSERT_GT(barsBeforeResize, 10u) << output;
    ASSERT_GT(bars.size(), barsBeforeResize + 10) << output;
    for (const auto& bar : bars)
        EXPECT_LT(bar.size(), 120u) << bar;
    // Bars already on their way when the terminal shrank are drawn at the old width.
    const auto narrow = std::find_if(bars.begin() + static_cast<long>(barsBeforeResize), bars.end(),
                                     [](const auto& bar) { return bar.size() < 66; });
    ASSERT_GT(bars.end() - narrow, 10) << output;
    for (auto bar = narrow; bar != bars.end(); ++bar)
        EXPECT_LT(bar->size(), 66u) << *bar;
    EXPECT_NE(bars[barsBeforeResize - 1].find("programming"), std::string::npos);
    EXPECT_NE(bars.back().find(" 86/86 "), std::string::npos) << bars.back();

    const auto screen = Screen(output);
    ASSERT_GE(screen.size(), 2u);
    EXPECT_EQ(screen.back(), "result: programmed (exit 0)");
    EXPECT_EQ(screen[screen.size() - 2], "message: System Programmed OK  v4.5");
    for (const auto& line : screen)
        EXPECT_FALSE(line.starts_with("[")) << line;
}

TEST_F(Headless, IntoAPipeProgressIsOneLinePerTenPercent) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}), 0);
    std::istringstream out(Read("out"));
    std::vector<std::string> progress;
    for (std::string line; std::getline(out, line);)
        if (line.starts_with("progress:"))
            progress.push_back(line);
    ASSERT_EQ(progress.size(), 10u) << Read("out");
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_TRUE(progress[i].starts_with("progress: " + std::string(i < 9 ? " " : "") +
                                            std::to_string((i + 1) * 10) + "%  block "))
            << progress[i];
    EXPECT_NE(progress.back().find("block 86/86"), std::string::npos);
    EXPECT_EQ(Read("out").find('\r'), std::string::npos);
}

TEST_F(Headless, QuietPrintsOnlyTheResultLine) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--quiet"}), 0);
    EXPECT_EQ(Read("out"), "result: programmed (exit 0)\n");
    EXPECT_EQ(Read("err"), "");
}

} // namespace
