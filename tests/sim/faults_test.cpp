#include "sim/sim_device.h"
#include "tests/sim/scripted_host.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dedarida::sim::test {
namespace {

bool Seen(const SimDevice& device, RequestKind kind, unsigned n) {
    return device.WaitFor([=](const SimStatus& s) { return s.Requests(kind) >= n; }, 2s);
}

class SimFault : public ::testing::Test {
protected:
    void Open(DeviceMode mode = DeviceMode::Bootloader) {
        config_.startMode = mode;
        device_.emplace(config_);
        device_->Start();
        host_.emplace(device_->SlavePath(), mode == DeviceMode::Bootloader ? B38400 : B4800);
    }
    Bytes Block(unsigned k) { return BlockRequest(FirstBlock + k * 1024, TestBlock(k)); }
    void EraseAndProgramAll() {
        ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
        for (unsigned k = 0; k < 86; ++k) {
            host_->Exchange(Block(k), ProgramOk.size());
        }
    }
    SimConfig config_ = FastConfig();
    std::optional<SimDevice> device_;
    std::optional<ScriptedHost> host_;
};

TEST_F(SimFault, DropsTheReplyToTheNthRequestOfAKind) {
    config_.faults.dropReply = {{RequestKind::Poll, 2}};
    Open();
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    host_->Send(PollRequest);
    ASSERT_TRUE(Seen(*device_, RequestKind::Poll, 2));
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_EQ(host_->Drain(), Bytes{});
}

TEST_F(SimFault, CorruptsAReplyChecksum) {
    config_.faults.corruptChecksum = {{RequestKind::Poll, 1}, {RequestKind::Identity, 1}};
    Open(DeviceMode::Application);
    auto identity = IdentityReply;
    identity.back() = 0xC6;
    EXPECT_EQ(host_->Exchange(IdentityRequest, identity.size()), identity);
    EXPECT_EQ(host_->Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    EXPECT_EQ(host_->Exchange(GoOfflineRequest, GoingOfflineReply.size()), GoingOfflineReply);
    ASSERT_TRUE(
        device_->WaitFor([](const SimStatus& s) { return s.mode == DeviceMode::Bootloader; }, 2s));
    host_->SetSpeed(B38400);
    const Bytes badPoll = {0x10, 0x02, 0x05, 0x00, 0x01, 0x00, 0x07, 0x10, 0x03};
    EXPECT_EQ(host_->Exchange(PollRequest, badPoll.size()), badPoll);
}

TEST_F(SimFault, SplitsRepliesIntoPiecesWithGaps) {
    config_.faults.splitPiece = 1;
    config_.faults.splitGap = 3ms;
    Open();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 8 * 3ms);
    EXPECT_GE(host_->Pieces(), 5U);
}

TEST_F(SimFault, SendsNoiseWithoutFrameStartsBeforeEachReply) {
    config_.faults.noiseBytes = 40;
    config_.faults.seed = 7;
    Open();
    const auto got = host_->Exchange(PollRequest, 40 + PollOk.size());
    ASSERT_EQ(got.size(), 40 + PollOk.size());
    EXPECT_EQ(Bytes(got.begin() + 40, got.end()), PollOk);
    EXPECT_TRUE(std::none_of(got.begin(), got.begin() + 40,
                             [](std::uint8_t b) { return b == 0x55 || b == 0x10; }));
    SimDevice again(config_);
    again.Start();
    ScriptedHost second(again.SlavePath(), B38400);
    EXPECT_EQ(second.Exchange(PollRequest, got.size()), got) << "same seed, same noise";
}

TEST_F(SimFault, AnswersChosenBlocksWithVerifyOrCommandErrorAndTheCheckFails) {
    config_.faults.verifyErrorBlocks = {3};
    config_.faults.commandErrorBlocks = {5};
    Open();
    ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
    for (unsigned k = 0; k < 86; ++k) {
        const auto& expected =
            k == 2 ? ProgramVerifyError : (k == 4 ? ProgramCommandError : ProgramOk);
        ASSERT_EQ(host_->Exchange(Block(k), expected.size()), expected) << "block " << k;
    }
    EXPECT_EQ(device_->Status().blocksStored, 84U);
    EXPECT_EQ(host_->Exchange(StartAppRequest, StartFailed.size()), StartFailed);
}

TEST_F(SimFault, FailsTheFinalCheckOnRequest) {
    config_.faults.failFinalCheck = true;
    Open();
    EraseAndProgramAll();
    EXPECT_EQ(host_->Exchange(StartAppRequest, StartFailed.size()), StartFailed);
}

TEST_F(SimFault, RefusesTheErase) {
    config_.faults.refuseErase = true;
    Open();
    EXPECT_EQ(host_->Exchange(EraseRequest, EraseFailed.size()), EraseFailed);
}

TEST_F(SimFault, AnswersPollOnlyAfterNPolls) {
    config_.faults.ignoredPolls = 2;
    Open();
    host_->Send(PollRequest);
    host_->Send(PollRequest);
    ASSERT_TRUE(Seen(*device_, RequestKind::Poll, 2));
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_EQ(host_->Drain(), Bytes{});
}

TEST_F(SimFault, NeverAnswersGoOfflineButStillEntersTheBootloader) {
    config_.faults.silentGoOffline = true;
    config_.rebootDelay = 20ms;
    Open(DeviceMode::Application);
    host_->Send(GoOfflineRequest);
    ASSERT_TRUE(
        device_->WaitFor([](const SimStatus& s) { return s.mode == DeviceMode::Bootloader; }, 2s));
    EXPECT_EQ(host_->Drain(), Bytes{});
    host_->SetSpeed(B38400);
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
}

// A device that never leaves its application, and says who it is by itself.
TEST_F(SimFault, IgnoresGoOfflineAndRepeatsItsIdentityUnasked) {
    config_.faults.ignoreGoOffline = true;
    config_.faults.identityEvery = 150ms;
    Open(DeviceMode::Application);
    host_->Send(GoOfflineRequest);
    ASSERT_TRUE(Seen(*device_, RequestKind::GoOffline, 1));
    for (int n = 0; n < 2; ++n)
        EXPECT_EQ(host_->Read(IdentityReply.size(), 1s), IdentityReply);
    EXPECT_EQ(device_->Status().mode, DeviceMode::Application);
    EXPECT_EQ(device_->Status().Requests(RequestKind::Identity), 0u);
}

TEST_F(SimFault, SendsHalfAReplyThenGoesSilent) {
    config_.faults.halfReply = {{RequestKind::Identity, 1}};
    Open(DeviceMode::Application);
    host_->Send(IdentityRequest);
    EXPECT_EQ(host_->Drain(), Bytes(IdentityReply.begin(), IdentityReply.begin() + 9));
    host_->Send(IdentityRequest);
    ASSERT_TRUE(Seen(*device_, RequestKind::Identity, 2));
    EXPECT_EQ(host_->Drain(), Bytes{});
    EXPECT_TRUE(device_->Status().silent);
}

// The link goes with the line, as a device node goes with its device: a stale
// one would lead to whichever pty reuses the number.
TEST_F(SimFault, HangsUpInTheBlockTransferAndComesBackOnANewPty) {
    const std::string link = "/tmp/dedarida-sim-test-" + std::to_string(::getpid());
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0) << "a stale link to replace";
    config_.linkPath = link;
    config_.faults.hangUpAtBlock = 2;
    config_.faults.comebackDelay = 200ms;
    Open();
    ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
    ASSERT_EQ(host_->Exchange(Block(0), ProgramOk.size()), ProgramOk);
    host_->Send(Block(1));
    EXPECT_TRUE(host_->HungUp());
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
    ASSERT_TRUE(device_->WaitFor([](const SimStatus& s) { return s.ptyGeneration == 2; }, 2s));
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(device_->SlavePath(), target);
    ScriptedHost again(link, B4800);
    EXPECT_EQ(again.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    host_.reset();
    device_.reset();
    EXPECT_NE(::access(link.c_str(), F_OK), 0);
}

// As a device node that outlasts its device for a moment: listed, but no
// open reaches the line.
TEST_F(SimFault, LeavesItsLinkLeadingNowhereForAMomentAfterAHangUp) {
    const std::string link = "/tmp/dedarida-sim-linger-" + std::to_string(::getpid());
    ::unlink(link.c_str());
    config_.linkPath = link;
    config_.faults.hangUpAtBlock = 1;
    config_.faults.lingerAfterHangUp = 300ms;
    config_.faults.comebackDelay = 800ms;
    Open();
    host_->Send(Block(0));
    EXPECT_TRUE(host_->HungUp());
    struct stat entry {};
    EXPECT_EQ(::lstat(link.c_str(), &entry), 0) << "the link stays";
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "and leads nowhere";
    ::usleep(500'000);
    EXPECT_NE(::lstat(link.c_str(), &entry), 0) << "then it goes";
    ASSERT_TRUE(device_->WaitFor([](const SimStatus& s) { return s.ptyGeneration == 2; }, 2s));
    ScriptedHost again(link, B4800);
    EXPECT_EQ(again.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
}

TEST_F(SimFault, AnswersAPollASecondTimeLate) {
    config_.faults.latePollAnswer = true;
    config_.faults.latePollDelay = 30ms;
    config_.eraseTime = 100ms;
    Open();
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    host_->Send(EraseRequest);
    // The late double comes first, where the tool waits for the answer to Erase Flash.
    EXPECT_EQ(host_->Read(PollOk.size()), PollOk);
    EXPECT_EQ(host_->Read(EraseOk.size()), EraseOk);
}

TEST_F(SimFault, AnswersEachBlockTwice) {
    config_.faults.doubleAck = true;
    config_.faults.doubleAckDelay = 20ms;
    Open();
    ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
    EXPECT_EQ(host_->Exchange(Block(0), ProgramOk.size()), ProgramOk);
    EXPECT_EQ(host_->Read(ProgramOk.size()), ProgramOk);
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk) << "Polls are answered once";
    EXPECT_EQ(host_->Drain(), Bytes{});
    EXPECT_EQ(device_->Status().blocksStored, 1u);
}

} // namespace
} // namespace dedarida::sim::test
