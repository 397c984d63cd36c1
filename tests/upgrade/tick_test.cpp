// The controller's tick on a fake line. Most tests run the tick by hand on the
// main thread; those about failures inside a tick run the real tick thread,
// woken by hand rather than by a clock.
#include "link/protocol.h"
#include "tests/upgrade/fake_tool.h"
#include "upgrade/timer.h"

#include <algorithm>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <utility>

using namespace dedarida;
using namespace dedarida::test;
using namespace std::chrono_literals;

namespace {

// Both ENOENT and ERROR_FILE_NOT_FOUND.
constexpr int NoSuchFile = 2;

class Ticks : public ::testing::Test {
protected:
    unsigned Sent(std::uint8_t code) const { return t_.Sent(code); }
    unsigned PanelTimes(int index, const std::string& text) const {
        return window_.TimesShown(index, text);
    }
    void Ticked(int times) {
        for (int i = 0; i < times; ++i)
            tool_.Tick();
    }
    // START answered up to "READY TO UPGRADE"; the go-offline command then goes
    // out on the third tick and the device says nothing more.
    void GoOfflineSent() {
        tool_.Button1Click();
        t_.Deliver(TextReply("FW ID  v4.1"));
        t_.Deliver(TextReply("READY TO UPGRADE"));
        Ticked(2);
        ASSERT_EQ(Sent(AppCommandGoOffline), 0u);
        tool_.Tick();
        ASSERT_EQ(Sent(AppCommandGoOffline), 1u);
    }
    // The go-offline command outstanding and the next tick deciding; `step`
    // runs at the point where the tick has looked at the link state.
    void AboutToDecide(int offlineRetries, std::function<void()> step) {
        tool_.LinkState().LastAppCommand = AppCommandGoOffline;
        tool_.OfflineRetries = offlineRetries;
        tool_.TickCounter = 1;
        tool_.SetLinkStepHook(std::move(step));
    }
    void ExpectBootloaderMode() {
        EXPECT_EQ(tool_.LinkState().LinkMode(), BootMode);
        EXPECT_EQ(tool_.ComPort1().BaudRate(), TBaudRate::br38400);
        EXPECT_EQ(tool_.LinkState().LastAppCommand, 0xFF);
    }
    // Runs the tick thread, waking it until `finished` is set or 5 s pass,
    // and ends it.
    bool TickThreadUntil(std::future<void> finished) {
        Timer timer(tool_, t_.window, t_.main);
        const auto ready = [&] { return finished.wait_for(0ms) == std::future_status::ready; };
        for (int i = 0; i < 500 && !ready(); ++i) {
            tool_.TickEvent.Set();
            t_.main.RunQueuedFor(10ms, ready);
        }
        return ready();
    }

    FakeTool t_;
    Programmer& tool_ = t_.tool;
    RecordingWindow& window_ = t_.window;
};

} // namespace

// The problem goes to panel 1 in a few words, the whole of it to the panel's
// tooltip, and both go once the port opens.
TEST_F(Ticks, APortThatCannotBeOpenedIsTriedOnEveryTickAndItsProblemSaidOnce) {
    const std::string port = tool_.ComPort1().PortName();
    tool_.ComPort1().Close();
    t_.line->failCall = "Open";
    t_.line->failError = NoSuchFile;
    Ticked(2);
    EXPECT_EQ(PanelTimes(0, "COM: busy"), 2u);
    EXPECT_FALSE(tool_.ComPort1().Connected());
    const std::string problem = window_.Tooltip();
    EXPECT_TRUE(problem.starts_with(port)) << problem;
    EXPECT_TRUE(problem.ends_with("does not exist.")) << problem;
    const std::string brief = window_.Panel(1);
    EXPECT_TRUE(brief.starts_with(port + ": ")) << brief;
    EXPECT_LT(brief.size(), problem.size());
    EXPECT_EQ(PanelTimes(1, brief), 1u);

    t_.line->failCall.clear();
    tool_.Tick();
    EXPECT_TRUE(tool_.ComPort1().Connected());
    EXPECT_EQ(window_.Panel(0), "COM: " + port.substr(3));
    EXPECT_EQ(window_.Panel(1), "Status: Command");
    EXPECT_EQ(window_.Tooltip(), "");

    // A new failure after a good open is said again.
    tool_.ComPort1().Close();
    t_.line->failCall = "Open";
    tool_.Tick();
    EXPECT_EQ(PanelTimes(1, brief), 2u);
    EXPECT_EQ(window_.Tooltip(), problem);
}

// The line goes again and again (the adapter is still out) while the box
// saying so waits for OK: one box until it is answered, then one more.
TEST_F(Ticks, ALineLostAgainWhileItsBoxIsOpenShowsNoSecondBox) {
    const auto lostAgain = [this] {
        tool_.Tick();
        t_.main.RunQueuedFor(2s, [this] { return !tool_.ComPort1().Connected(); });
        return !tool_.ComPort1().Connected();
    };
    bool nested = false;
    window_.whileErrorShown = [&] {
        if (std::exchange(nested, true))
            return;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(lostAgain());
    };
    t_.line->Lose();
    t_.main.RunQueuedFor(2s, [this] { return !window_.Errors().empty(); });
    EXPECT_EQ(PanelTimes(0, "COM: busy"), 4u);
    EXPECT_EQ(window_.Errors().size(), 1u);

    ASSERT_TRUE(lostAgain());
    EXPECT_EQ(window_.Errors().size(), 2u);
}

TEST_F(Ticks, GoOfflineIsSentTwiceMoreOnEverySecondTickThenTheBootloaderIsPolled) {
    GoOfflineSent();
    Ticked(4);
    EXPECT_EQ(Sent(AppCommandGoOffline), 3u);
    EXPECT_EQ(tool_.LinkState().LinkMode(), AppMode);
    Ticked(2);
    ExpectBootloaderMode();
    EXPECT_EQ(Sent(AppCommandGoOffline), 3u);
    EXPECT_EQ(Sent(BootPoll), 0u);
    Ticked(2);
    EXPECT_EQ(Sent(BootPoll), 1u);
    Ticked(2);
    EXPECT_EQ(Sent(BootPoll), 2u);
}

// START ends the re-sends (the last command is now the identity request); the
// device, gone to its bootloader, does not answer, so no countdown follows.
TEST_F(Ticks, StartDuringTheGoOfflineReSendsEndsThem) {
    GoOfflineSent();
    Ticked(2);
    ASSERT_EQ(Sent(AppCommandGoOffline), 2u);

    tool_.Button1Click();
    EXPECT_EQ(tool_.LinkState().LastAppCommand, AppCommandIdentity);
    Ticked(8);
    EXPECT_EQ(Sent(AppCommandGoOffline), 2u);
    EXPECT_EQ(Sent(AppCommandIdentity), 2u);
    EXPECT_EQ(tool_.LinkState().LinkMode(), AppMode);
    EXPECT_EQ(tool_.ReadyDelay, 0);
    EXPECT_EQ(tool_.OfflineRequestPending, 0);
    EXPECT_EQ(Sent(BootPoll), 0u);
}

// "GOING OFFLINE" interpreted between the tick's look at the link state and
// its action on it.
TEST_F(Ticks, TheForcedSwitchDoesNotUndoAJustInterpretedGoingOffline) {
    AboutToDecide(2, [this, once = true]() mutable {
        if (std::exchange(once, false))
            t_.Deliver(TextReply("GOING OFFLINE"));
    });
    tool_.Tick();
    ExpectBootloaderMode();
    EXPECT_EQ(tool_.OfflineRetries, 0);
    Ticked(2);
    EXPECT_EQ(Sent(BootPoll), 1u);
    Ticked(2);
    EXPECT_EQ(Sent(BootPoll), 2u);
}

TEST_F(Ticks, AReSendAfterAJustInterpretedGoingOfflineIsDroppedAndNotCounted) {
    t_.StartTrace();
    AboutToDecide(0, [this] { t_.Deliver(TextReply("GOING OFFLINE")); });
    tool_.Tick();
    ExpectBootloaderMode();
    EXPECT_EQ(Sent(AppCommandGoOffline), 0u) << "an application frame at 38400";
    EXPECT_EQ(tool_.OfflineRetries, 0);
    const auto lines = t_.TraceLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "| go offline not sent: the link has left application mode"),
              lines.end());
}

// The port goes away between the tick's decision and its re-send: the error
// is shown, the next tick opens the port again and the re-sends go on.
TEST_F(Ticks, AFailedWriteOnTheTickThreadIsShownAndTheNextTickOpensThePortAgain) {
    std::promise<void> reSentAfterwards;
    AboutToDecide(0, [&, calls = 0]() mutable {
        if (++calls == 1)
            tool_.ComPort1().Close();
        else if (calls == 2)
            reSentAfterwards.set_value();
    });
    ASSERT_TRUE(TickThreadUntil(reSentAfterwards.get_future()));
    EXPECT_TRUE(window_.Panel(1).starts_with("Operation failed: ")) << window_.Panel(1);
    EXPECT_TRUE(tool_.ComPort1().Connected());
    EXPECT_EQ(t_.line->Count("Open"), 2u);
    EXPECT_EQ(Sent(AppCommandGoOffline), 1u);
}

// Not even a failure of no known kind ends the tick thread.
TEST_F(Ticks, AFailureOfUnknownKindIsShownAndTickingGoesOn) {
    std::promise<void> tickedAgain;
    AboutToDecide(0, [&, calls = 0]() mutable {
        if (++calls == 1)
            throw 42;
        if (calls == 2)
            tickedAgain.set_value();
    });
    ASSERT_TRUE(TickThreadUntil(tickedAgain.get_future()));
    EXPECT_EQ(PanelTimes(1, "The tick failed for a reason of unknown kind"), 1u);
    EXPECT_EQ(Sent(AppCommandGoOffline), 1u);
}
