// The bootloader's answers on a fake line: each request's answer by its
// status, and the replies that answer no request outstanding.
#include "tests/upgrade/fake_tool.h"

#include <gtest/gtest.h>

using namespace dedarida;
using namespace dedarida::test;

namespace {

const Bytes PollOk = {0x10, 0x02, 0x05, 0x00, 0x01, 0x00, 0x06, 0x10, 0x03};
const Bytes EraseOk = {0x10, 0x02, 0x05, 0x00, 0x02, 0x00, 0x07, 0x10, 0x03};
const Bytes ProgramOk = {0x10, 0x02, 0x05, 0x00, 0x03, 0x00, 0x08, 0x10, 0x03};

Bytes Join(const Bytes& first, const Bytes& second) {
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    return both;
}

std::vector<std::string> Discards(const FakeTool& t) {
    std::vector<std::string> lines;
    for (const std::string& line : t.TraceLines())
        if (line.starts_with("| reply discarded: "))
            lines.push_back(line.substr(19));
    return lines;
}

} // namespace

TEST(BootAnswers, EveryBlockAnsweredMovesTheBarThenSuccessClearsIt) {
    FakeTool t;
    t.Checking();
    t.Deliver(BootReply(0x04, 0x00));
    std::vector<int> expected = {0};
    for (int k = 1; k <= 86; ++k)
        expected.push_back(100 * k / 88);
    expected.push_back(0);
    EXPECT_EQ(t.Seen().progress, expected);
    EXPECT_EQ(expected[86], 97);
    ASSERT_EQ(t.Seen().messages, std::vector<std::string>{"info: System Programmed OK  v4.5"});
    EXPECT_EQ(t.Panel1().back(), "Programmed OK");
    EXPECT_EQ(t.tool.LinkState().LinkMode(), AppMode);
    EXPECT_EQ(t.tool.ComPort1().BaudRate(), TBaudRate::br4800);
    EXPECT_TRUE(t.window.StartEnabledCalls().back());
    EXPECT_EQ(t.tool.MismatchedReplies, 0);
}

TEST(BootAnswers, APollAnsweredWithStatusOneStillStartsTheErase) {
    FakeTool t;
    t.tool.SwitchStatus1Click();
    t.tool.SendPoll();
    t.Deliver(BootReply(0x01, 0x01));
    EXPECT_EQ(t.tool.PollAnswered, 1);
    EXPECT_EQ(t.Requests(), (std::vector<std::uint8_t>{0x01, 0x02}));
}

TEST(BootAnswers, StartApplicationAnsweredWithACommandError) {
    FakeTool t;
    t.Checking();
    t.Deliver(BootReply(0x04, 0xFD));
    EXPECT_EQ(t.Panel1().back(), "Command 4 Error");
    EXPECT_EQ(t.Seen().messages, std::vector<std::string>{"error: System Program Fail"});
    EXPECT_EQ(t.tool.LinkState().LinkMode(), BootMode);
}

// No time-out on a block: the upgrade waits until SendProgram starts the
// bootloader phase again.
TEST(BootAnswers, ABlockAnswerWithABadChecksumLeavesTheUpgradeWaiting) {
    FakeTool t;
    t.Programming(5);
    const std::size_t written = t.Requests().size();
    t.Deliver(FramedBody(BootBody(0x03, 0x00, 1)));
    EXPECT_EQ(t.Requests().size(), written);
    EXPECT_EQ(t.window.Progress(), 100 * 4 / 88);
    EXPECT_EQ(t.tool.MismatchedReplies, 0) << "a corrupt reply is no mismatch";
    t.tool.SendCode();
    EXPECT_EQ(t.LastRequest(), 0x02);
}

TEST(BootAnswers, AnUnlistedStatusAfterABlockSendsNothingMore) {
    FakeTool t;
    t.Programming(3);
    const auto before = t.Seen();
    t.Deliver(BootReply(0x03, 0x02));
    EXPECT_EQ(t.Seen(), before);
    t.Deliver(ProgramOk);
    EXPECT_EQ(t.Requests().size(), before.requests.size()) << "the block had its answer";
}

TEST(BootAnswers, AnUnlistedStatusAfterTheEraseSendsNothing) {
    FakeTool t;
    t.Erasing();
    const auto before = t.Seen();
    t.Deliver(BootReply(0x02, 0xFD));
    EXPECT_EQ(t.Seen(), before);
}

TEST(BootAnswers, AFwIdRequestAnsweredDoneShowsFwId) {
    FakeTool t;
    t.tool.SwitchStatus1Click();
    t.tool.LinkState().SendBootCommand(0x06);
    EXPECT_EQ(t.window.Panel(2), "Fw Id");
    t.Deliver(BootReply(0x06, 0x01));
    EXPECT_EQ(t.Seen().panel1, std::vector<std::string>{});
    t.tool.LinkState().SendBootCommand(0x06);
    t.Deliver(BootReply(0x06, 0x00));
    EXPECT_EQ(t.Seen().panel1, std::vector<std::string>{"FW id: "});
}

TEST(BootAnswers, AnyOtherStatusOfTheFinalCheckFails) {
    for (const std::uint8_t status : {0x02, 0x10, 0xFF}) {
        FakeTool t;
        t.Checking();
        t.Deliver(BootReply(0x04, status));
        EXPECT_EQ(t.Seen().messages, std::vector<std::string>{"error: System Program Fail"})
            << int{status};
        EXPECT_EQ(t.Panel1().back(), "Wait for CRC Check....") << int{status};
        EXPECT_EQ(t.tool.LinkState().LinkMode(), BootMode);
    }
}

// The Poll answer left 00 at body index 3; a three-byte reply after it
// must not be read with that status.
TEST(BootAnswers, AShortReplyIsNotReadWithAStatusLeftFromTheLastOne) {
    FakeTool t;
    t.StartTrace();
    t.tool.SwitchStatus1Click();
    t.tool.SendPoll();
    t.Deliver(PollOk);
    ASSERT_EQ(t.LastRequest(), 0x02);
    t.Deliver(FramedBody({0x02, 0x00, 0x02}));
    EXPECT_EQ(t.LastRequest(), 0x02);
    EXPECT_EQ(t.Seen().panel1, std::vector<std::string>{});
    EXPECT_EQ(t.tool.MismatchedReplies, 1);
    EXPECT_EQ(Discards(t), std::vector<std::string>{"too short to name its request and status"});
}

TEST(BootAnswers, AShortAnswerToPollStartsNoErase) {
    FakeTool t;
    t.tool.SwitchStatus1Click();
    t.tool.SendPoll();
    t.Deliver(FramedBody({0x04, 0x00, 0x01, 0x05}));
    EXPECT_EQ(t.Requests(), std::vector<std::uint8_t>{0x01});
    EXPECT_EQ(t.tool.PollAnswered, 0);
    EXPECT_EQ(t.tool.MismatchedReplies, 1);
}

TEST(ReplyMatching, ALatePollAnswerIsNotTakenForTheEraseAnswer) {
    FakeTool t;
    t.StartTrace();
    t.tool.SwitchStatus1Click();
    t.tool.SendPoll();
    t.Deliver(PollOk);
    t.Deliver(PollOk);
    EXPECT_EQ(t.Requests(), (std::vector<std::uint8_t>{0x01, 0x02}));
    EXPECT_EQ(t.Seen().panel1, std::vector<std::string>{});
    EXPECT_EQ(t.tool.MismatchedReplies, 1);
    EXPECT_EQ(Discards(t),
              std::vector<std::string>{"it answers Poll, but Erase Flash was written last"});
    t.Deliver(EraseOk);
    EXPECT_EQ(t.Requests(), (std::vector<std::uint8_t>{0x01, 0x02, 0x03}));
}

TEST(ReplyMatching, ABlockAnsweredTwiceInOneReadIsSentOnlyOnce) {
    FakeTool t;
    t.StartTrace();
    t.Programming(1);
    t.Deliver(Join(ProgramOk, ProgramOk));
    EXPECT_EQ(t.Requests(), (std::vector<std::uint8_t>{0x02, 0x03, 0x03}));
    EXPECT_EQ(t.tool.LinkState().BlockPosition, 2048);
    EXPECT_EQ(t.tool.MismatchedReplies, 1);
    EXPECT_EQ(Discards(t), std::vector<std::string>{"it came before Program was written"});
}

// Half a Poll answer, then the tick's next Poll: the rest completes a reply
// that began before that Poll was written.
TEST(ReplyMatching, AReplyBegunBeforeTheRequestIsNotItsAnswer) {
    FakeTool t;
    t.tool.SwitchStatus1Click();
    t.tool.SendPoll();
    t.Deliver(Bytes(PollOk.begin(), PollOk.begin() + 4));
    t.tool.SendPoll();
    t.Deliver(Bytes(PollOk.begin() + 4, PollOk.end()));
    EXPECT_EQ(t.Requests(), (std::vector<std::uint8_t>{0x01, 0x01}));
    EXPECT_EQ(t.tool.MismatchedReplies, 1);
    t.Deliver(PollOk);
    EXPECT_EQ(t.LastRequest(), 0x02);
}

TEST(ReplyMatching, AProgramAnswerIsNotTakenForTheFinalCheck) {
    FakeTool t;
    t.StartTrace();
    t.Checking();
    t.Deliver(ProgramOk);
    EXPECT_TRUE(t.window.Messages().empty());
    EXPECT_EQ(t.tool.LinkState().LinkMode(), BootMode);
    EXPECT_EQ(Discards(t), std::vector<std::string>{
                               "it answers Program, but Start Application was written last"});
    t.Deliver(BootReply(0x04, 0x00));
    EXPECT_EQ(t.Seen().messages, std::vector<std::string>{"info: System Programmed OK  v4.5"});
}

TEST(ReplyMatching, RepliesWithNoRequestOutstandingAreDiscarded) {
    FakeTool t;
    t.StartTrace();
    t.tool.SwitchStatus1Click();
    t.Deliver(EraseOk);
    t.tool.SendCode();
    t.Deliver(BootReply(0x02, 0x01));
    t.Deliver(EraseOk);
    EXPECT_EQ(t.Seen().panel1, std::vector<std::string>{"Send Data Fail"});
    EXPECT_EQ(t.Requests(), std::vector<std::uint8_t>{0x02});
    EXPECT_EQ(t.tool.MismatchedReplies, 2);
    EXPECT_EQ(Discards(t), (std::vector<std::string>{"no request has been written",
                                                     "Erase Flash has had its answer"}));
}
