// Child processes running the system's command interpreter, followed the way
// the fleet follows its units.
#include "process/child_processes.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <windows.h>

namespace {

using dedarida::ChildProcesses;

std::string CommandInterpreter() {
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length) + "\\cmd.exe";
}

// Each child starts the next as it ends, as the station starts a unit from
// the end of another; an ended one is let go at once.
TEST(ChildProcessesWin32, EachEndSaysHowTheChildEndedAndEndedOnesAreLetGo) {
    constexpr std::size_t Chain = 8;
    ChildProcesses processes;
    std::map<std::size_t, std::string> output;
    std::map<std::size_t, ChildProcesses::End> ends;
    std::size_t mostHeld = 0;
    const auto start = [&](std::size_t n) {
        std::string error;
        ASSERT_TRUE(processes.Start(
            CommandInterpreter(),
            {"cmd", "/c", "echo", "child" + std::to_string(n) + "&", "exit", std::to_string(n)},
            error))
            << error;
    };
    start(0);
    processes.Follow(
        [&](std::size_t child, ChildProcesses::Stream stream, std::string_view bytes) {
            if (stream == ChildProcesses::Stream::Output)
                output[child] += bytes;
        },
        [&](std::size_t child, const ChildProcesses::End& end) {
            ends[child] = end;
            mostHeld = std::max(mostHeld, processes.Held());
            if (child + 1 < Chain)
                start(child + 1);
        });
    ASSERT_EQ(ends.size(), Chain);
    for (std::size_t n = 0; n < Chain; ++n) {
        EXPECT_EQ(ends[n].exitStatus, static_cast<int>(n));
        EXPECT_EQ(output[n].substr(0, 6), "child" + std::to_string(n)) << output[n];
    }
    EXPECT_EQ(mostHeld, 0u);
    EXPECT_EQ(processes.Held(), 0u);
}

} // namespace
