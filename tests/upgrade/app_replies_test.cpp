// The application reply table, one behaviour per test, with the device
// sending each text unrequested (or, where said, as its answer).
#include "sim/app_frames.h"
#include "tests/upgrade/upgrade_checks.h"

#include <array>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

using namespace dedarida;
using namespace dedarida::test;
using sim::RequestKind;

namespace {

std::string Padded(const std::string& text) {
    return text + std::string(40 - text.size(), ' ');
}

class AppReplies : public ::testing::Test {
protected:
    void SetUp() override {
        bench_.Tool().Tick();
        ASSERT_TRUE(bench_.Tool().ComPort1().Connected());
    }

    // Sends each text and waits until the tool has interpreted them all.
    void Say(std::initializer_list<std::string> texts) {
        const unsigned target = bench_.RepliesTaken() + static_cast<unsigned>(texts.size());
        for (const std::string& text : texts)
            bench_.Device().SendText(text);
        ASSERT_TRUE(bench_.RunUntil([&] { return bench_.RepliesTaken() >= target; }, 5s));
    }

    UpgradeBench bench_{{}, false};
    Programmer& tool_ = bench_.Tool();
    RecordingWindow& window_ = bench_.Window();
};

TEST_F(AppReplies, ConnectionWinsOverAnIdentityInTheSameReply) {
    Say({"FW ID  v4.1 CONNECTION"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    Say({"connection"});
    EXPECT_EQ(window_.Panel(1), "CONNECTED");
    EXPECT_EQ(bench_.Traced("start upgrade"), 0u);
    EXPECT_TRUE(window_.Messages().empty());
}

TEST(AppRepliesOnRequest, AnIdentityAnswerThatAlsoSaysConnection) {
    UpgradeBench bench(
        [](sim::SimConfig& c) {
            c.replyTexts = {{{RequestKind::Identity, 1}, "CONNECTION FW ID  v4.1"}};
        },
        false);
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Window().Panel(1) == "CONNECTED"; }, 5s));
    bench.RunFor(300ms);
    EXPECT_EQ(bench.Requests(RequestKind::StartUpgrade), 0u);
}

TEST_F(AppReplies, AnIdentityInLowerCaseIsAccepted) {
    tool_.TargetVersion = "v2.7";
    Say({"fw id  v3.9"});
    EXPECT_EQ(tool_.TargetVersion, "v4.5");
    EXPECT_EQ(bench_.Traced("start upgrade"), 1u);
    EXPECT_EQ(window_.Panel(1), "START UPGRADE");
}

TEST_F(AppReplies, OnlyTwoBlanksBeforeTheVersionMakeAnIdentity) {
    Say({"FW ID v4.1", "FW ID v2.1", "FW ID v9.1"});
    EXPECT_TRUE(window_.Messages().empty());
    EXPECT_EQ(bench_.Traced("start upgrade"), 0u);
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

TEST_F(AppReplies, GoingOfflineDiscardsWhatCameWithItInTheSameBatch) {
    std::vector<std::uint8_t> batch;
    std::array<std::uint8_t, sim::AppReplyMax> frame{};
    const std::size_t size = sim::BuildAppReply(0x69, "GOING OFFLINE", frame);
    batch.assign(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(size));
    for (std::uint8_t byte : BootReplyBytes(1, 0))
        batch.push_back(byte);
    tool_.LinkState().LastAppCommand = 0x69;
    tool_.TickCounter = 1;
    bench_.Device().Send(batch, "GOING OFFLINE and a bootloader reply");
    ASSERT_TRUE(bench_.RunUntil([&] { return bench_.RepliesTaken() == 1; }, 5s));
    bench_.RunFor(100ms);

    EXPECT_EQ(bench_.RepliesTaken(), 1u) << "the bootloader reply behind it was framed";
    EXPECT_EQ(window_.Panel(1), Padded("GOING OFFLINE"));
    EXPECT_TRUE(HasPanelText(window_, 1, "Status: Data"));
    EXPECT_FALSE(window_.StartEnabled());
    EXPECT_EQ(tool_.LinkState().LinkMode(), BootMode);
    EXPECT_EQ(tool_.ComPort1().BaudRate(), TBaudRate::br38400);
    EXPECT_EQ(tool_.LinkState().LastAppCommand, 0xFF);
    EXPECT_EQ(tool_.TickCounter, 0);
}

} // namespace
