// "GOING OFFLINE" interpreted on the main thread between the tick's look at
// the link state and its action on it. The tick runs here by hand, on the
// main thread, so the hook can let the reply through at exactly that point.
#include "link/protocol.h"
#include "tests/upgrade/upgrade_checks.h"

#include <gtest/gtest.h>
#include <utility>

using namespace dedarida;
using namespace dedarida::test;

namespace {

// The port open, the go-offline command outstanding, the next tick deciding.
void AboutToDecide(UpgradeBench& bench, int offlineRetries) {
    Programmer& tool = bench.Tool();
    tool.Tick();
    ASSERT_TRUE(tool.ComPort1().Connected());
    tool.LinkState().LastAppCommand = AppCommandGoOffline;
    tool.OfflineRetries = offlineRetries;
    tool.TickCounter = 1;
    tool.SetLinkStepHook([&bench, once = true]() mutable {
        if (!std::exchange(once, false))
            return;
        bench.Device().SendText("GOING OFFLINE");
        ASSERT_TRUE(
            bench.RunUntil([&] { return bench.Tool().LinkState().LinkMode() == BootMode; }, 5s));
    });
}

void ExpectBootloaderMode(UpgradeBench& bench) {
    EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
    EXPECT_EQ(bench.Tool().ComPort1().BaudRate(), TBaudRate::br38400);
    EXPECT_EQ(bench.Tool().LinkState().LastAppCommand, 0xFF);
}

} // namespace

TEST(TickRace, TheForcedSwitchDoesNotUndoAJustInterpretedGoingOffline) {
    UpgradeBench bench({}, false);
    AboutToDecide(bench, 2);
    bench.Tool().Tick();
    ExpectBootloaderMode(bench);
    EXPECT_EQ(bench.Tool().OfflineRetries, 0);

    bench.Tool().Tick();
    bench.Tool().Tick();
    EXPECT_EQ(bench.Traced("Poll"), 1u);
    bench.Tool().Tick();
    bench.Tool().Tick();
    EXPECT_EQ(bench.Traced("Poll"), 2u);
}

TEST(TickRace, AReSendAfterAJustInterpretedGoingOfflineIsDroppedAndNotCounted) {
    UpgradeBench bench({}, false);
    AboutToDecide(bench, 0);
    bench.Tool().Tick();
    ExpectBootloaderMode(bench);
    EXPECT_EQ(bench.Traced("go offline"), 0u) << "an application frame at 38400";
    EXPECT_EQ(bench.Traced("go offline not sent: the link has left application mode"), 1u);
    EXPECT_EQ(bench.Tool().OfflineRetries, 0);
}
