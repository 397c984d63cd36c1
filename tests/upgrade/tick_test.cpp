// What a tick does when the port is not there, when its own write fails, and
// when START comes in while the go-offline command is being re-sent.
#include "link/protocol.h"
#include "tests/upgrade/upgrade_checks.h"

#include <gtest/gtest.h>
#include <utility>

using namespace dedarida;
using namespace dedarida::test;
using sim::RequestKind;

namespace {

unsigned PanelTimes(const RecordingWindow& window, int index, const std::string& text) {
    unsigned count = 0;
    for (const auto& [panel, shown] : window.History())
        count += panel == index && shown == text;
    return count;
}

} // namespace

TEST(Tick, APortThatCannotBeOpenedIsTriedAgainOnEveryTick) {
    UpgradeBench bench({}, false);
    Programmer& tool = bench.Tool();
    tool.ComPort1().SetDevicePath("/dev/dedarida-no-such-port");
    tool.Tick();
    EXPECT_EQ(bench.Window().Panel(0), "COM: busy");
    tool.Tick();
    EXPECT_EQ(PanelTimes(bench.Window(), 0, "COM: busy"), 2u);
    EXPECT_FALSE(tool.ComPort1().Connected());
    // Which port and why, said once however often it is tried.
    const std::string problem = "COM2 (/dev/dedarida-no-such-port) does not exist.";
    EXPECT_EQ(bench.Window().Panel(1), problem);
    EXPECT_EQ(PanelTimes(bench.Window(), 1, problem), 1u);

    tool.ComPort1().SetDevicePath(bench.LinePath());
    tool.Tick();
    EXPECT_TRUE(tool.ComPort1().Connected());
    EXPECT_EQ(bench.Window().Panel(0), "COM: 2");
    tool.Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Traced("start upgrade") == 1; }, 5s));
}

// The port goes away between the tick's decision and its re-send: the error
// is shown, the next tick opens the port again and the upgrade goes on.
TEST(Tick, AFailedWriteOnTheTickThreadIsShownAndTickingGoesOn) {
    UpgradeBench bench([](sim::SimConfig& c) { c.faults.silentGoOffline = true; });
    bench.Tool().SetLinkStepHook([&bench, once = true]() mutable {
        if (std::exchange(once, false))
            bench.Tool().ComPort1().Close();
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_TRUE(HasPanelText(bench.Window(), 1, "Operation failed: 9 (Bad file descriptor)"));
    EXPECT_EQ(PanelTimes(bench.Window(), 0, "COM: 2"), 2u);
    EXPECT_EQ(bench.Traced("go offline"), 3u);
}

// Not even a failure of no known kind ends the tick thread: the next ticks
// still re-send, switch and poll.
TEST(Tick, AFailureOfUnknownKindIsShownAndTickingGoesOn) {
    UpgradeBench bench([](sim::SimConfig& c) { c.faults.silentGoOffline = true; });
    bench.Tool().SetLinkStepHook([once = true]() mutable {
        if (std::exchange(once, false))
            throw 42;
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_TRUE(HasPanelText(bench.Window(), 1, "The tick failed for a reason of unknown kind"));
}

// START ends the re-sends (the last command is now the identity request); the
// device, gone to its bootloader, does not answer, so no countdown follows.
TEST(Tick, StartDuringTheGoOfflineReSendsEndsThem) {
    UpgradeBench bench([](sim::SimConfig& c) { c.faults.silentGoOffline = true; }, false);
    Programmer& tool = bench.Tool();
    tool.Button1Click();
    ASSERT_TRUE(bench.RunUntil(
        [&] { return bench.Window().Panel(1).starts_with("READY TO UPGRADE"); }, 5s));
    for (int i = 0; i < 5; ++i)
        tool.Tick();
    ASSERT_EQ(bench.Traced("go offline"), 2u);

    tool.Button1Click();
    EXPECT_EQ(tool.LinkState().LastAppCommand, AppCommandIdentity);
    for (int i = 0; i < 8; ++i) {
        tool.Tick();
        bench.RunFor(10ms);
    }
    EXPECT_EQ(bench.Traced("go offline"), 2u);
    EXPECT_EQ(bench.Traced("identity request"), 2u);
    EXPECT_EQ(tool.LinkState().LinkMode(), AppMode);
    EXPECT_EQ(tool.ReadyDelay, 0);
    EXPECT_EQ(tool.OfflineRequestPending, 0);
    EXPECT_EQ(bench.Traced("Poll"), 0u);
}
