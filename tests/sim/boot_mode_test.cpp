#include "sim/sim_device.h"
#include "tests/sim/scripted_host.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace dedarida::sim::test {
namespace {

SimConfig BootConfig() {
    auto config = FastConfig();
    config.startMode = DeviceMode::Bootloader;
    return config;
}

class SimBootloader : public ::testing::Test {
protected:
    void Open(const SimConfig& config = BootConfig()) {
        device_.emplace(config);
        device_->Start();
        host_.emplace(device_->SlavePath(), B38400);
    }
    void EraseAndProgramAll() {
        ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
        for (unsigned k = 0; k < 86; ++k) {
            ASSERT_EQ(host_->Exchange(BlockRequest(FirstBlock + k * 1024, TestBlock(k)),
                                      ProgramOk.size()),
                      ProgramOk)
                << "block " << k;
        }
    }
    std::optional<SimDevice> device_;
    std::optional<ScriptedHost> host_;
};

TEST_F(SimBootloader, AnswersPollAndErase) {
    Open();
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
}

TEST_F(SimBootloader, StoresBlocksWithStuffedDataAndAddress) {
    Open();
    ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
    const Bytes ones(1024, 0x10);
    const auto frame = BlockRequest(0x0F1000, ones);
    // The address 00 10 0F 00 goes out as 00 10 10 0F 00.
    EXPECT_EQ(Bytes(frame.begin() + 5, frame.begin() + 10), (Bytes{0x00, 0x10, 0x10, 0x0F, 0x00}));
    EXPECT_EQ(host_->Exchange(frame, ProgramOk.size()), ProgramOk);
    EXPECT_EQ(host_->Exchange(BlockRequest(FirstBlock, TestBlock(0)), ProgramOk.size()), ProgramOk);
    device_->Stop();
    const auto flash = device_->Flash();
    const std::size_t at = 0x0F1000 - FirstBlock;
    EXPECT_TRUE(std::all_of(flash.begin() + at, flash.begin() + at + 1024,
                            [](std::uint8_t b) { return b == 0x10; }));
    const auto block0 = TestBlock(0);
    EXPECT_TRUE(std::equal(block0.begin(), block0.end(), flash.begin()));
    EXPECT_EQ(flash[1024], 0xFF);
}

TEST_F(SimBootloader, RefusesBlocksOutsideTheFlashOrOffABoundary) {
    Open();
    for (const std::uint32_t address : {0x0E8400U, 0x0E8801U, 0x0FE000U, 0x1E8800U}) {
        EXPECT_EQ(host_->Exchange(BlockRequest(address, TestBlock(0)), ProgramCommandError.size()),
                  ProgramCommandError)
            << std::hex << address;
    }
    EXPECT_EQ(device_->Status().blocksStored, 0U);
}

TEST_F(SimBootloader, IgnoresRequestsWithBadLengthChecksumOrEscape) {
    Open();
    host_->Send({0x10, 0x04, 0x04, 0x00, 0x01, 0x06, 0x10, 0x05}); // checksum
    host_->Send({0x10, 0x04, 0x05, 0x00, 0x01, 0x06, 0x10, 0x05}); // length field
    host_->Send({0x10, 0x04, 0x04, 0x00, 0x10, 0x41, 0x10, 0x05}); // DLE then 0x41
    auto shortBlock = BlockRequest(FirstBlock, TestBlock(0));
    shortBlock.erase(shortBlock.begin() + 20); // one data byte lost on the way
    host_->Send(shortBlock);
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_EQ(host_->Drain(), Bytes{});
    EXPECT_EQ(device_->Status().rejectedFrames, 4U);
}

TEST_F(SimBootloader, AnswersAnUnknownCommandWithCommandError) {
    Open();
    const Bytes fwId = {0x10, 0x04, 0x04, 0x00, 0x06, 0x0A, 0x10, 0x05};
    const Bytes expected = {0x10, 0x02, 0x05, 0x00, 0x06, 0xFD, 0x08, 0x10, 0x03};
    EXPECT_EQ(host_->Exchange(fwId, expected.size()), expected);
}

TEST_F(SimBootloader, FinalCheckPassesWhenEveryBlockIsWrittenThenReboots) {
    auto config = BootConfig();
    config.reference = TestImage();
    Open(config);
    EraseAndProgramAll();
    EXPECT_EQ(host_->Exchange(StartAppRequest, StartOk.size()), StartOk);
    EXPECT_TRUE(
        device_->WaitFor([](const SimStatus& s) { return s.mode == DeviceMode::Application; }, 2s));
    host_->SetSpeed(B4800);
    EXPECT_EQ(host_->Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    EXPECT_EQ(device_->Status().checkPassed, true);
}

TEST_F(SimBootloader, FinalCheckFailsOnAMissingBlockAndStaysInTheBootloader) {
    Open();
    ASSERT_EQ(host_->Exchange(EraseRequest, EraseOk.size()), EraseOk);
    for (unsigned k = 0; k < 85; ++k) {
        ASSERT_EQ(
            host_->Exchange(BlockRequest(FirstBlock + k * 1024, TestBlock(k)), ProgramOk.size()),
            ProgramOk);
    }
    EXPECT_EQ(host_->Exchange(StartAppRequest, StartFailed.size()), StartFailed);
    EXPECT_EQ(host_->Exchange(PollRequest, PollOk.size()), PollOk);
    EXPECT_EQ(device_->Status().checkPassed, false);
}

TEST_F(SimBootloader, FinalCheckFailsWhenTheFlashDiffersFromTheReference) {
    auto config = BootConfig();
    config.reference = TestImage();
    config.reference[5000] ^= 1;
    Open(config);
    EraseAndProgramAll();
    EXPECT_EQ(host_->Exchange(StartAppRequest, StartFailed.size()), StartFailed);
}

TEST_F(SimBootloader, NeverAnswersAtASpeedTheToolIsNotListeningAt) {
    auto config = BootConfig();
    config.eraseTime = 50ms;
    Open(config);
    host_->Send(EraseRequest);
    ASSERT_TRUE(device_->WaitFor(
        [](const SimStatus& s) { return s.Requests(RequestKind::Erase) == 1; }, 2s));
    host_->SetSpeed(B4800); // the tool moved on before the answer came
    EXPECT_EQ(host_->Read(EraseOk.size()), Bytes(EraseOk.size(), 0xFF));
}

} // namespace
} // namespace dedarida::sim::test
