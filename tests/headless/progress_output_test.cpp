#include "tests/headless/headless_fixture.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

using dedarida::test::Headless;

// The visible text after a stream of output, as a terminal would keep it:
// carriage return, line feed, cursor up (ESC [ n A), erase below (ESC [ J).
std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> lines(1);
    std::size_t row = 0, column = 0;
    for (std::size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            if (++row == lines.size())
                lines.emplace_back();
        } else if (c == '\033' && i + 1 < output.size() && output[i + 1] == '[') {
            std::size_t end = i + 2;
            unsigned count = 0;
            for (; end < output.size() && std::isdigit(static_cast<unsigned char>(output[end]));
                 ++end)
                count = count * 10 + static_cast<unsigned>(output[end] - '0');
            if (end < output.size() && output[end] == 'A') {
                row -= std::min<std::size_t>(row, count == 0 ? 1 : count);
            } else if (end < output.size() && output[end] == 'J') {
                lines[row].resize(std::min(lines[row].size(), column));
                lines.resize(row + 1);
            }
            i = end;
        } else {
            if (column >= lines[row].size())
                lines[row].resize(column + 1, ' ');
            lines[row][column++] = c;
        }
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// Bar lines as drawn, in order, without their escape sequences.
std::vector<std::string> Bars(const std::string& output) {
    std::vector<std::string> bars;
    std::string line;
    for (std::size_t i = 0; i <= output.size(); ++i) {
        if (i == output.size() || output[i] == '\n' || output[i] == '\r') {
            if (line.starts_with("["))
                bars.push_back(line);
            line.clear();
        } else if (output[i] == '\033') {
            while (i < output.size() && !std::isalpha(static_cast<unsigned char>(output[i])))
                ++i;
        } else {
            line += output[i];
        }
    }
    return bars;
}

void SetWidth(int terminal, unsigned short columns) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
}

TEST_F(Headless, OnATerminalOneLineIsRedrawnInPlaceNarrowerAfterAResizeAndEndsAsTheResult) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    SetWidth(master, 120);

    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid = dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", slave);
    close(slave);
    std::string output;
    std::size_t barsBeforeResize = 0;
    for (char buffer[4096];;) {
        pollfd ready{master, POLLIN, 0};
        ASSERT_GT(poll(&ready, 1, 30000), 0) << output;
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            break; // EIO once the tool has closed the terminal
        output.append(buffer, static_cast<std::size_t>(got));
        if (barsBeforeResize == 0 && output.find("block 40/86") != std::string::npos) {
            barsBeforeResize = Bars(output).size();
            SetWidth(master, 66);
        }
    }
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);
    device.Stop();
    close(master);

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
