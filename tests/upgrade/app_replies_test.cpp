// The application reply table on a fake line, one behaviour per test, with
// the device sending each text unrequested (or, where said, as its answer).
#include "tests/upgrade/fake_tool.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

using namespace dedarida;
using namespace dedarida::test;
using namespace std::chrono_literals;

namespace {

std::string Padded(const std::string& text) {
    return text + std::string(40 - text.size(), ' ');
}

class AppReplies : public ::testing::Test {
protected:
    void Say(std::initializer_list<std::string> texts) {
        for (const std::string& text : texts)
            t_.Deliver(TextReply(text));
    }
    unsigned Sent(std::uint8_t code) const { return t_.Sent(code); }

    FakeTool t_;
    Programmer& tool_ = t_.tool;
    RecordingWindow& window_ = t_.window;
};

TEST_F(AppReplies, ConnectionWinsOverAnIdentityInTheSameReply) {
    Say({"FW ID  v4.1 CONNECTION"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    Say({"connection"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    EXPECT_EQ(Sent(0xF6), 0u);
    EXPECT_TRUE(window_.Messages().empty());
}

TEST_F(AppReplies, AnIdentityAnswerThatAlsoSaysConnection) {
    tool_.Button1Click();
    Say({"CONNECTION FW ID  v4.1"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    EXPECT_EQ(t_.Requests(), std::vector<std::uint8_t>{0x03});
}

// The pause blocks the main thread before the start-upgrade command goes out.
TEST_F(AppReplies, AnAcceptedIdentityPauses200MsThenStartsTheUpgrade) {
    tool_.Button1Click();
    Say({"FW ID  v4.1"});
    EXPECT_EQ(t_.pauses, std::vector<std::chrono::milliseconds>{200ms});
    EXPECT_EQ(t_.writesAtPause, std::vector<std::size_t>{1});
    EXPECT_EQ(t_.Requests(), (std::vector<std::uint8_t>{0x03, 0xF6}));
    EXPECT_EQ(window_.Panel(1), "START UPGRADE");
}

TEST_F(AppReplies, AnIdentityInLowerCaseIsAccepted) {
    tool_.TargetVersion = "v2.7";
    Say({"fw id  v3.9"});
    EXPECT_EQ(tool_.TargetVersion, "v4.5");
    EXPECT_EQ(Sent(0xF6), 1u);
    EXPECT_EQ(window_.Panel(1), "START UPGRADE");
}

TEST_F(AppReplies, OnlyTwoBlanksBeforeTheVersionMakeAnIdentity) {
    Say({"FW ID v4.1", "FW ID v2.1", "FW ID v9.1"});
    EXPECT_TRUE(window_.Messages().empty());
    EXPECT_EQ(Sent(0xF6), 0u);
    Say({"FW ID  v9.1"});
    ASSERT_EQ(window_.Messages().size(), 1u);
    EXPECT_EQ(window_.Messages()[0].text, "Unknown device !");
}

TEST_F(AppReplies, TheStatusTextsCountOnlyInCapitals) {
    Say({"going offline", "ready to upgrade"});
    EXPECT_EQ(tool_.LinkState().LinkMode(), AppMode);
    EXPECT_EQ(tool_.ReadyDelay, 0);
    EXPECT_EQ(tool_.OfflineRequestPending, 0);

    Say({"READY TO UPGRADE"});
    EXPECT_EQ(tool_.ReadyDelay, 2);
    EXPECT_EQ(tool_.OfflineRequestPending, 1);
    EXPECT_EQ(window_.Panel(1), Padded("READY TO UPGRADE"));
}

TEST_F(AppReplies, PairedDevicesAndBluetoothStatusEnableStart) {
    window_.SetStartEnabled(false);
    Say({"num_paired_dev_resp", "bt_status_resp"});
    EXPECT_FALSE(window_.StartEnabled());
    Say({"BT_STATUS_RESP"});
    EXPECT_TRUE(window_.StartEnabled());
    window_.SetStartEnabled(false);
    Say({"NUM_PAIRED_DEV_RESP"});
    EXPECT_TRUE(window_.StartEnabled());
}

// A shorter reply is copied over the head of ReplyText only: what the longer
// one left behind is searched too.
TEST_F(AppReplies, TheTailOfAnEarlierLongerReplyMatchesLater) {
    Say({"CONNECTION READY TO UPGRADE"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    EXPECT_EQ(tool_.OfflineRequestPending, 0);
    Say({"OK"});
    EXPECT_EQ(tool_.OfflineRequestPending, 1);
    EXPECT_EQ(window_.Panel(1), Padded("OKNNECTION READY TO UPGRADE"));
}

TEST_F(AppReplies, GoingOfflineDiscardsWhatCameWithItInTheSameRead) {
    t_.StartTrace();
    Bytes read = TextReply("GOING OFFLINE");
    const Bytes pollAnswer = BootReply(0x01, 0x00);
    read.insert(read.end(), pollAnswer.begin(), pollAnswer.end());
    tool_.LinkState().LastAppCommand = 0x69;
    tool_.TickCounter = 1;
    t_.Deliver(read);

    EXPECT_EQ(t_.TraceLines(), std::vector<std::string>{"| text \"GOING OFFLINE\""})
        << "the bootloader reply behind it was framed";
    EXPECT_EQ(window_.Panel(1), Padded("GOING OFFLINE"));
    EXPECT_EQ(t_.Panel1(), (std::vector<std::string>{"Status: Command", "Status: Data",
                                                     Padded("GOING OFFLINE")}));
    EXPECT_FALSE(window_.StartEnabled());
    EXPECT_EQ(tool_.LinkState().LinkMode(), BootMode);
    EXPECT_EQ(tool_.ComPort1().BaudRate(), TBaudRate::br38400);
    EXPECT_EQ(tool_.LinkState().LastAppCommand, 0xFF);
    EXPECT_EQ(tool_.TickCounter, 0);
}

// Re-sends made before a "GOING OFFLINE" answer stay counted: the next
// upgrade of the run switches after one re-send instead of two.
TEST(OfflineRetries, ReSendsBeforeAGoingOfflineAnswerCountAgainstTheNextUpgrade) {
    FakeTool t;
    auto goOfflineSent = [&t] { return t.Sent(0x69); };
    t.Deliver(TextReply("READY TO UPGRADE"));
    for (int i = 0; i < 5; ++i)
        t.tool.Tick();
    ASSERT_EQ(goOfflineSent(), 2u);
    t.Deliver(TextReply("GOING OFFLINE"));
    EXPECT_EQ(t.tool.OfflineRetries, 1);

    t.tool.SwitchStatus1Click();
    t.Deliver(TextReply("READY TO UPGRADE"));
    for (int i = 0; i < 7; ++i)
        t.tool.Tick();
    EXPECT_EQ(goOfflineSent(), 4u);
    EXPECT_EQ(t.tool.LinkState().LinkMode(), BootMode);
    EXPECT_EQ(t.tool.OfflineRetries, 0);
}

} // namespace
