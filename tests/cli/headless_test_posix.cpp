#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using dedarida::test::Headless;
namespace sim = dedarida::sim;

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (const auto b : bytes) {
        std::snprintf(byte, sizeof byte, " %02X", b);
        text += byte;
    }
    return text;
}

// The first block's frame, from the protocol's rules: address 0x0E8800, the
// first 1024 firmware bytes, every 0x10 of the body doubled.
std::vector<std::uint8_t> FirstBlockFrame() {
    std::vector<std::uint8_t> body = {0x08, 0x04, 0x03, 0x00, 0x88, 0x0E, 0x00};
    const auto firmware = dedarida::EmbeddedFirmware();
    body.insert(body.end(), firmware.begin(), firmware.begin() + 1024);
    unsigned sum = 0;
    for (const auto b : body)
        sum += b;
    body.push_back(static_cast<std::uint8_t>(sum));
    std::vector<std::uint8_t> frame = {0x10, 0x04};
    for (const auto b : body) {
        frame.push_back(b);
        if (b == 0x10)
            frame.push_back(b);
    }
    frame.push_back(0x10);
    frame.push_back(0x05);
    return frame;
}

TEST_F(Headless, AProgrammedDeviceExitsZeroAndTheTraceHoldsTheExactFrames) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--trace", dir_ + "/trace", "--json"}), 0);
    const auto firmware = dedarida::EmbeddedFirmware();
    EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), flash_.begin()));
    const std::string trace = Read("trace");
    EXPECT_NE(trace.find("TX  4800 | 55 30 3F 02 03 C9 | identity request"), std::string::npos);
    EXPECT_NE(trace.find("TX 38400 |" + HexOf(FirstBlockFrame()) + " | Program block at 0x0E8800"),
              std::string::npos);
    EXPECT_NE(trace.find("TX 38400 | 10 04 04 00 04 08 10 05 | Start Application"),
              std::string::npos);
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "programmed");
    EXPECT_EQ(record["exitStatus"], 0);
    EXPECT_EQ(record["blocksSent"], 86);
    EXPECT_EQ(record["blocksInImage"], 86);
    EXPECT_EQ(record["port"], Line());
    const std::string err = Read("err");
    EXPECT_NE(err.find("message: System Programmed OK  v4.5"), std::string::npos);
    // Each reply shown as it came, not over the tail of a longer one.
    EXPECT_NE(err.find("status: READY TO UPGRADE\n"), std::string::npos) << err;
    EXPECT_NE(err.find("status: GOING OFFLINE\n"), std::string::npos) << err;
    EXPECT_EQ(record["identity"], "FW ID  v4.1");
}

TEST_F(Headless, AFailedCheckOrARefusedEraseExitsOne) {
    config_.faults.failFinalCheck = true;
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}), 1);
    EXPECT_NE(Read("out").find("error: System Program Fail"), std::string::npos);
    config_.faults.failFinalCheck = false;
    config_.faults.refuseErase = true;
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}), 1);
    EXPECT_NE(Read("out").find("status: Send Data Fail"), std::string::npos);
}

TEST_F(Headless, RefusedAndUnknownDevicesExitTwo) {
    config_.identity = "FW ID  v2.0";
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}), 2);
    EXPECT_NE(Read("out").find("You can not update this device !"), std::string::npos);
    config_.identity = "FW ID  v9.9";
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--json"}), 2);
    EXPECT_EQ(nlohmann::json::parse(Read("out"))["identity"], "FW ID  v9.9");
}

TEST_F(Headless, SilenceExitsThreeAfterTheTimeout) {
    config_.faults.dropReply = {{sim::RequestKind::Identity, 1}};
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--timeout", "1"}), 3);
}

// A device that never goes offline: each identity it repeats begins the
// handshake again, and none of it is progress.
TEST_F(Headless, ADeviceThatNeverGoesOfflineEndsAtTheTimeoutStillInItsApplication) {
    config_.faults.ignoreGoOffline = true;
    config_.faults.identityEvery = 3s;
    // Ten seconds cover the handshake and the timeout after it.
    EXPECT_EQ(RunWithin({"--upgrade", "--port", Line(), "--timeout", "4", "--json"}, 10s), 3);
    EXPECT_EQ(nlohmann::json::parse(Read("out"))["result"], "timeout");
    // The device never left its application: no advice for its bootloader.
    EXPECT_EQ(Read("err").find("--from-bootloader"), std::string::npos) << Read("err");
}

TEST_F(Headless, APortThatCannotBeOpenedExitsFourAndSaysWhy) {
    EXPECT_EQ(Run({"--upgrade", "--port", dir_ + "/no-such-line"}), 4);
    EXPECT_NE(Read("err").find("does not exist"), std::string::npos) << Read("err");
    // Nothing was heard from the device, so nothing is said about it.
    EXPECT_EQ(Run({"--upgrade", "--port", dir_ + "/no-such-line", "--from-bootloader"}), 4);
    EXPECT_EQ(Read("out").find("bootloader"), std::string::npos) << Read("out");
    EXPECT_EQ(Run({"--upgrade", "--port", "COM77"}), 4);
    EXPECT_NE(Read("err").find("COM77 names no device"), std::string::npos) << Read("err");
}

TEST_F(Headless, CtrlCClosesThePortAndExits130) {
    config_.faults.dropReply = {{sim::RequestKind::Identity, 1}};
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}, 500ms), 130);
    EXPECT_NE(Read("out").find("interrupted; the port is closed"), std::string::npos);
}

// The silent device's bootloader is being asked (the Poll reaches a device
// still in its application as bytes at the wrong speed).
TEST_F(Headless, CtrlCWhileTheBootloaderIsAskedEndsInterruptedWithItsRecord) {
    config_.faults.dropReply = {{sim::RequestKind::Identity, 1}};
    EXPECT_EQ(RunSignalledWhen(
                  {"--upgrade", "--port", Line(), "--json"},
                  [](const sim::SimStatus& s) { return s.garbageBytes > 0; }, SIGINT),
              130);
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "interrupted");
    EXPECT_EQ(record["exitStatus"], 130);
}

TEST_F(Headless, CtrlCWhileProgrammingSaysHowTheDeviceIsLeftAndHowToRecoverIt) {
    config_.programTime = 100ms;
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}, 7s), 130);
    const std::string out = Read("out");
    EXPECT_NE(out.find("message: the device is left in its bootloader with its flash erased and "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" of 86 blocks programmed; recover it with: dedarida --upgrade --port " +
                       Line() + " --from-bootloader"),
              std::string::npos)
        << out;
}

TEST_F(Headless, FromTheBootloaderPollsThenProgramsADeviceLeftThere) {
    config_.startMode = sim::DeviceMode::Bootloader;
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--from-bootloader"}), 0);
    EXPECT_NE(Read("out").find("System Programmed OK"), std::string::npos);
}

TEST_F(Headless, WrongArgumentsExit64AndHelpDocumentsTheStatuses) {
    EXPECT_EQ(Run({"--upgrade"}), 64);
    // An empty serial would match any adapter of that kind.
    EXPECT_EQ(Run({"--upgrade", "--port", "usb:0403:6001:"}), 64);
    EXPECT_EQ(Run({"--station", "--port", "usb:0403:6001:"}), 64);
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(Read("out").find("130  interrupted"), std::string::npos);
}

} // namespace
