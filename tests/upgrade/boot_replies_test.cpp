// Bootloader answers and the device's faults against the tool: each with the
// outcome that matching a reply to the request written last gives.
#include "link/boot_command.h"
#include "tests/upgrade/upgrade_checks.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace dedarida;
using namespace dedarida::test;
using sim::RequestKind;

namespace {

// The tool's main loop keeps running meanwhile.
bool DeviceSaw(UpgradeBench& bench, RequestKind kind, unsigned count) {
    return bench.RunUntil([&] { return bench.Requests(kind) >= count; }, 5s);
}

// Index of the first transcript entry in `direction` whose meaning is `meaning`.
std::size_t TranscriptIndex(UpgradeBench& bench, sim::Direction direction,
                            const std::string& meaning) {
    const auto transcript = bench.Device().Transcript();
    for (std::size_t i = 0; i < transcript.size(); ++i)
        if (transcript[i].direction == direction && transcript[i].meaning == meaning)
            return i;
    return transcript.size();
}

} // namespace

TEST(Progress, EveryBlockAnsweredMovesTheBarThenSuccessClearsIt) {
    UpgradeBench bench;
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    // START and the erase each load the image, which sets the bar to 0.
    std::vector<int> expected = {0, 0};
    for (int k = 1; k <= 86; ++k)
        expected.push_back(100 * k / 88);
    expected.push_back(0);
    EXPECT_EQ(bench.Window().ProgressHistory(), expected);
    EXPECT_EQ(expected[86 + 1], 97);
}

TEST(IdentityPause, TheStartUpgradeCommandFollowsTheIdentityAfter200Ms) {
    UpgradeBench bench({}, false);
    bench.Tool().Button1Click();
    ASSERT_TRUE(bench.RunUntil([&] { return bench.Traced("start upgrade") == 1; }, 5s));
    const double identity = TracedAt(bench, "text \"FW ID  v4.1\"");
    const double startUpgrade = TracedAt(bench, "start upgrade");
    ASSERT_GE(identity, 0);
    EXPECT_GE(startUpgrade - identity, 0.2);
}

TEST(BootAnswers, StartApplicationAnsweredWithACommandError) {
    // A failed check keeps the device in its bootloader; its own answer is not sent.
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.failFinalCheck = true;
        c.faults.dropReply = {{RequestKind::Start, 1}};
    });
    bench.Tool().Button1Click();
    ASSERT_TRUE(DeviceSaw(bench, RequestKind::Start, 1));
    bench.Device().Send(BootReplyBytes(BootStartApplication, 0xFD), "Start Application: 0xFD");
    ASSERT_TRUE(bench.RunUntil([&] { return bench.MessageShown(); }));
    EXPECT_EQ(bench.Window().Panel(1), "Command 4 Error");
    EXPECT_EQ(bench.Window().Messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(bench.Window().Messages()[0].text, "System Program Fail");
    EXPECT_EQ(bench.Tool().LinkState().LinkMode(), BootMode);
}

TEST(BootAnswers, APollAnsweredWithStatusOneStillStartsTheErase) {
    UpgradeBench bench(
        [](sim::SimConfig& c) {
            c.startMode = sim::DeviceMode::Bootloader;
            c.faults.dropReply = {{RequestKind::Poll, 1}};
        },
        false);
    bench.Tool().Tick();
    bench.Tool().SwitchStatus1Click();
    bench.Tool().Tick();
    bench.Tool().Tick();
    ASSERT_TRUE(DeviceSaw(bench, RequestKind::Poll, 1));
    bench.Device().Send(BootReplyBytes(BootPoll, 0x01), "Poll: status 1");
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Requests(RequestKind::Poll), 1u);
    EXPECT_EQ(bench.Tool().PollAnswered, 1);
}

// The late double of the Poll answer arrives while the erase runs: written
// last was Erase Flash, so it counts as the erase answer and the blocks start
// before the device has answered the erase. The device's own erase answer
// then counts for a block, the last block's answer for Start Application:
// success is shown, and the device's real check answer finds the link back in
// application mode.
TEST(DeviceFaults, ALatePollAnswerIsTakenForTheEraseAnswer) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.latePollAnswer = true;
        c.faults.latePollDelay = 100ms;
        c.eraseTime = 400ms;
        c.programTime = 10ms;
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    const std::size_t firstBlock =
        TranscriptIndex(bench, sim::Direction::ToDevice, "Program 0x0E8800");
    const std::size_t eraseAnswer =
        TranscriptIndex(bench, sim::Direction::FromDevice, "reply to command 2: status 0x00");
    EXPECT_LT(firstBlock, eraseAnswer);
    EXPECT_EQ(bench.Requests(RequestKind::Erase), 1u);
    EXPECT_EQ(bench.Requests(RequestKind::Program), 86u);
    EXPECT_TRUE(
        bench.Device().WaitFor([](const sim::SimStatus& s) { return s.checkPassed == true; }, 5s));
}

TEST(DeviceFaults, ABadChecksumOnThePollAnswerMeansTheNextPoll) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.corruptChecksum = {{RequestKind::Poll, 1}};
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Requests(RequestKind::Poll), 2u);
}

// No time-out on a block: the upgrade waits until SendProgram starts the
// bootloader phase again.
TEST(DeviceFaults, ABlockAnswerWithABadChecksumOrNoneLeavesTheUpgradeWaiting) {
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "dropped" : "bad checksum");
        UpgradeBench bench([&](sim::SimConfig& c) {
            (drop ? c.faults.dropReply : c.faults.corruptChecksum) = {{RequestKind::Program, 5}};
        });
        bench.Tool().Button1Click();
        ASSERT_TRUE(DeviceSaw(bench, RequestKind::Program, 5));
        bench.RunFor(300ms);
        EXPECT_EQ(bench.Requests(RequestKind::Program), 5u);
        EXPECT_FALSE(bench.MessageShown());
        EXPECT_EQ(bench.Window().Progress(), 100 * 4 / 88);
        EXPECT_EQ(bench.Tool().LinkState().LastBootCommand, BootProgram);

        bench.Tool().SendCode();
        ExpectProgrammed(bench);
        EXPECT_EQ(bench.Requests(RequestKind::Erase), 2u);
    }
}
