#include "image/embedded_firmware.h"
#include "sim/sim_device.h"
#include "tests/upgrade/upgrade_bench.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace sim = dedarida::sim;

// The tool's executable run headless against a simulated device.
class Headless : public ::testing::Test {
protected:
    Headless() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-cli-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        config_ = dedarida::test::QuickDevice(dir_ + "/line");
    }
    ~Headless() override { std::filesystem::remove_all(dir_); }

    // Starts the device, runs the tool with `arguments`, and returns its exit
    // status; `interruptAfter` sends it SIGINT that long after it started.
    int Run(std::vector<std::string> arguments, std::chrono::milliseconds interruptAfter = 0ms) {
        sim::SimDevice device(config_);
        device.Start();
        std::vector<std::string> argv = {DEDARIDA_EXECUTABLE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (auto& a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (dir_ + "/out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ + "/err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        if (interruptAfter > 0ms) {
            std::this_thread::sleep_for(interruptAfter);
            kill(pid, SIGINT);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        flash_ = device.Flash();
        device.Stop();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Read(const std::string& name) const {
        std::ifstream file(dir_ + "/" + name);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string Line() const { return dir_ + "/line"; }

    std::string dir_;
    sim::SimConfig config_;
    std::array<std::uint8_t, sim::FlashSize> flash_{};
};

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
    EXPECT_NE(Read("err").find("message: System Programmed OK  v4.5"), std::string::npos);
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

TEST_F(Headless, APortThatCannotBeOpenedExitsFourAndSaysWhy) {
    EXPECT_EQ(Run({"--upgrade", "--port", dir_ + "/no-such-line"}), 4);
    EXPECT_NE(Read("err").find("does not exist"), std::string::npos) << Read("err");
    EXPECT_EQ(Run({"--upgrade", "--port", "COM77"}), 4);
    EXPECT_NE(Read("err").find("COM77 names no device"), std::string::npos) << Read("err");
}

TEST_F(Headless, CtrlCClosesThePortAndExits130) {
    config_.faults.dropReply = {{sim::RequestKind::Identity, 1}};
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}, 500ms), 130);
    EXPECT_NE(Read("out").find("interrupted; the port is closed"), std::string::npos);
}

TEST_F(Headless, FromTheBootloaderPollsThenProgramsADeviceLeftThere) {
    config_.startMode = sim::DeviceMode::Bootloader;
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--from-bootloader"}), 0);
    EXPECT_NE(Read("out").find("System Programmed OK"), std::string::npos);
}

TEST_F(Headless, WrongArgumentsExit64AndHelpDocumentsTheStatuses) {
    EXPECT_EQ(Run({"--upgrade"}), 64);
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(Read("out").find("130  interrupted"), std::string::npos);
}

} // namespace
