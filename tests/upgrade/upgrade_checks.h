#pragma once

#include "sim/boot_frames.h"
#include "tests/upgrade/upgrade_bench.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dedarida::test {

inline bool HasPanelText(const RecordingWindow& window, int index, const std::string& text) {
    return window.TimesShown(index, text) > 0;
}

// The `count`-th upgrade of the bench's tool has just succeeded.
inline void ExpectProgrammed(UpgradeBench& bench, std::size_t count = 1) {
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Window().Messages().size() >= count; }));
    const auto messages = bench.Window().Messages();
    ASSERT_EQ(messages.size(), count);
    EXPECT_EQ(messages.back().kind, MessageKind::Information);
    EXPECT_EQ(messages.back().text, "System Programmed OK  v4.5");
    EXPECT_TRUE(bench.Programmed());
    EXPECT_EQ(bench.Tool().LinkState().LinkMode(), AppMode);
    EXPECT_EQ(bench.Tool().ComPort1().BaudRate(), TBaudRate::br4800);
    // Set by the success itself, not left from the start.
    ASSERT_FALSE(bench.Window().StartEnabledCalls().empty());
    EXPECT_TRUE(bench.Window().StartEnabledCalls().back());
    EXPECT_EQ(bench.Window().Panel(1), "Programmed OK");
    EXPECT_EQ(bench.Window().Progress(), 0);
}

// No SetStartEnabled(false) so far.
inline bool StartNeverDisabled(const RecordingWindow& window) {
    const auto calls = window.StartEnabledCalls();
    return std::find(calls.begin(), calls.end(), false) == calls.end();
}

// A bootloader reply as the device sends it, built by the simulator's own code.
inline std::vector<std::uint8_t> BootReplyBytes(std::uint8_t command, std::uint8_t status) {
    std::array<std::uint8_t, sim::BootReplyMax> frame{};
    const std::size_t size = sim::BuildBootReply(command, status, frame);
    return {frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size)};
}

// Seconds since the trace began, of the first trace line ending in `meaning`;
// negative when there is none.
inline double TracedAt(const UpgradeBench& bench, const std::string& meaning) {
    for (const std::string& line : bench.TraceLines())
        if (line.ends_with("| " + meaning)) {
            const std::size_t plus = line.find(" +");
            return plus == std::string::npos ? -1 : std::stod(line.substr(plus + 2));
        }
    return -1;
}

} // namespace dedarida::test
