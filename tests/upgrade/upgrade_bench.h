#pragma once

#include "image/embedded_firmware.h"
#include "sim/sim_device.h"
#include "tests/upgrade/quick_device.h"
#include "tests/upgrade/recording_window.h"
#include "upgrade/main_loop.h"
#include "upgrade/programmer.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace dedarida::test {

using namespace std::chrono_literals;

// A tool (the controller on the test's thread as its main thread) wired to a
// simulated device over a pty. `ticking`: the real tick thread, with Timer1
// every `tick`; otherwise the test calls Tick itself.
class UpgradeBench {
public:
    explicit UpgradeBench(const std::function<void(sim::SimConfig&)>& configure = {},
                          bool ticking = true, std::chrono::milliseconds tick = 40ms,
                          Programmer::DriverFactory makeDriver = {})
        : dir_(MakeDir()), loop_(tick), programmer_(window_, loop_.Queue(), std::move(makeDriver)),
          device_(Configured(dir_ + "/line", configure)) {
        device_.Start();
        loop_.SetOnTimer([this] { programmer_.Timeout(); });
        programmer_.Init(ticking);
        programmer_.SetTrace(&trace_);
        programmer_.ComPort1().SetDevicePath(LinePath());
        if (ticking)
            loop_.SetTimerEnabled(true);
    }
    ~UpgradeBench() {
        programmer_.CloseAll();
        device_.Stop();
        if (::testing::Test::HasFailure())
            PrintTail();
        std::filesystem::remove_all(dir_);
    }

    // Runs the main loop until `done` holds; false after `timeout`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
        return loop_.RunUntil(done, MainLoop::Clock::now() + timeout);
    }
    void RunFor(std::chrono::milliseconds time) {
        loop_.RunUntil([] { return false; }, MainLoop::Clock::now() + time);
    }
    bool MessageShown() const { return !window_.Messages().empty(); }
    // After a success: the device has rebooted into its application.
    bool DeviceBack() {
        return RunUntil([&] { return device_.Status().mode == sim::DeviceMode::Application; }, 5s);
    }
    bool Programmed() const {
        const auto firmware = EmbeddedFirmware();
        const auto flash = device_.Flash();
        return std::equal(firmware.begin(), firmware.end(), flash.begin());
    }
    unsigned Requests(sim::RequestKind kind) const { return device_.Status().Requests(kind); }
    // Lines of the tool's traffic trace that end in `meaning`.
    unsigned Traced(const std::string& meaning) const {
        unsigned count = 0;
        for (const std::string& line : TraceLines())
            count += line.ends_with("| " + meaning);
        return count;
    }
    std::vector<std::string> TraceLines() const {
        std::vector<std::string> lines;
        std::ifstream trace(dir_ + "/trace");
        for (std::string line; std::getline(trace, line);)
            lines.push_back(line);
        return lines;
    }

    // The device path of the simulated line.
    std::string LinePath() const { return dir_ + "/line"; }
    RecordingWindow& Window() { return window_; }
    Programmer& Tool() { return programmer_; }
    sim::SimDevice& Device() { return device_; }

private:
    // What both sides saw last, to tell a failure's story.
    void PrintTail() const {
        std::vector<std::string> lines;
        for (const std::string& line : TraceLines())
            lines.push_back(line.size() > 160
                                ? line.substr(0, 100) + " ... " + line.substr(line.rfind('|'))
                                : line);
        std::printf("-- tool trace, last lines:\n");
        for (std::size_t i = lines.size() > 12 ? lines.size() - 12 : 0; i < lines.size(); ++i)
            std::printf("%s\n", lines[i].c_str());
        const auto transcript = device_.Transcript();
        std::printf("-- device transcript, last entries:\n");
        for (std::size_t i = transcript.size() > 12 ? transcript.size() - 12 : 0;
             i < transcript.size(); ++i)
            std::printf("%s\n", sim::ToJsonLine(transcript[i]).substr(0, 200).c_str());
    }

    static std::string MakeDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-e2e-XXXXXX").string();
        return mkdtemp(pattern.data());
    }
    static sim::SimConfig Configured(const std::string& linkPath,
                                     const std::function<void(sim::SimConfig&)>& configure) {
        sim::SimConfig config = QuickDevice(linkPath);
        if (configure)
            configure(config);
        return config;
    }

    std::string dir_;
    MainLoop loop_;
    TrafficTrace trace_{dir_ + "/trace"};
    RecordingWindow window_;
    Programmer programmer_;
    sim::SimDevice device_;
};

} // namespace dedarida::test
