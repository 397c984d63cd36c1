// A device that stays silent where an answer is due, on a fake line with the
// tick run by hand: the window says what it likely means and what recovers it.
#include "link/protocol.h"
#include "tests/upgrade/fake_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace dedarida;
using namespace dedarida::test;
using ::testing::HasSubstr;

namespace {

class Silence : public ::testing::Test {
protected:
    Silence() { tool_.SetSilenceNotices(true); }
    void Ticked(int times) {
        for (int i = 0; i < times; ++i)
            tool_.Tick();
    }
    // A device has time to answer within two ticks; a few seconds are enough
    // to say it did not.
    void ExpectNoticeOnlyAfterAFewTicks(const std::string& action) {
        Ticked(2);
        EXPECT_EQ(window_.Tooltip(), "") << "too soon";
        Ticked(8);
        EXPECT_THAT(window_.Panel(1), HasSubstr(action));
        EXPECT_THAT(window_.Tooltip(), HasSubstr(action));
    }

    FakeTool t_;
    Programmer& tool_ = t_.tool;
    RecordingWindow& window_ = t_.window;
};

} // namespace

// After a lost line the link is in application mode; a device that came back
// in its bootloader never answers START.
TEST_F(Silence, AnUnansweredStartPointsToSendProgram) {
    tool_.Button1Click();
    t_.Deliver(TextReply("FW ID  v2.3"));
    Ticked(10);
    EXPECT_EQ(window_.Tooltip(), "") << "an answered START";

    tool_.Button1Click();
    ExpectNoticeOnlyAfterAFewTicks("F9");
}

// SendProgram chosen after "READY TO UPGRADE" and before "GOING OFFLINE":
// Erase Flash and the polls go out at 38400 to a device in its application.
TEST_F(Silence, SendProgramBeforeTheDeviceWentOfflineIsSaidAndStartAsksItAgain) {
    tool_.Button1Click();
    t_.Deliver(TextReply("FW ID  v4.1"));
    t_.Deliver(TextReply("READY TO UPGRADE"));
    tool_.SendCode();
    ASSERT_EQ(t_.LastRequest(), BootEraseFlash);
    ExpectNoticeOnlyAfterAFewTicks("START");

    tool_.Button1Click();
    EXPECT_EQ(tool_.LinkState().LinkMode(), AppMode);
    EXPECT_EQ(tool_.ComPort1().BaudRate(), TBaudRate::br4800);
    EXPECT_EQ(t_.LastRequest(), AppCommandIdentity);
    t_.Deliver(TextReply("FW ID  v4.1"));
    EXPECT_EQ(t_.LastRequest(), AppCommandStartUpgrade);
}

// A bootloader that has answered is programming: START does not take the
// link from it, and nothing is said about silence.
TEST_F(Silence, StartLeavesABootloaderThatAnsweredAlone) {
    t_.Programming(3);
    const std::size_t written = t_.Requests().size();
    tool_.Button1Click();
    EXPECT_EQ(t_.Requests().size(), written);
    Ticked(10);
    EXPECT_EQ(tool_.LinkState().LinkMode(), BootMode);
    EXPECT_EQ(window_.Tooltip(), "");
}
