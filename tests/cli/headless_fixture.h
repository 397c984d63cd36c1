#pragma once

#include "sim/sim_device.h"
#include "tests/cli/tool_process.h"
#include "tests/upgrade/upgrade_bench.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace dedarida::test {

namespace sim = dedarida::sim;

// The SHA-256 sha256sum gives the file at `path`, so that no hash a test
// expects comes from the tool's own code.
inline std::string Sha256Sum(const std::string& path) {
    std::string hash(64, '\0');
    std::FILE* sum = popen(("sha256sum '" + path + "'").c_str(), "r");
    EXPECT_NE(sum, nullptr);
    if (sum == nullptr)
        return {};
    EXPECT_EQ(std::fread(hash.data(), 1, hash.size(), sum), hash.size());
    pclose(sum);
    return hash;
}

// The tool's executable run headless against a simulated device.
class Headless : public ::testing::Test {
protected:
    Headless() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-cli-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        config_ = QuickDevice(dir_ + "/line");
    }
    ~Headless() override { std::filesystem::remove_all(dir_); }

    // A signal sent to the tool this long after it started.
    struct Signal {
        std::chrono::milliseconds after;
        int number;
    };

    // Starts the device, runs the tool with `arguments`, and returns its exit
    // status; `interruptAfter` sends it SIGINT that long after it started.
    int Run(std::vector<std::string> arguments, std::chrono::milliseconds interruptAfter = 0ms) {
        std::vector<Signal> signals;
        if (interruptAfter > 0ms)
            signals.push_back({interruptAfter, SIGINT});
        return RunStarted([&] { return StartTool(arguments, dir_ + "/out", dir_ + "/err"); },
                          signals);
    }
    // The same with the tool started by `start`, and `signals` sent in turn,
    // timed from the device's first frame: a loaded machine may take longer
    // to start the tool than a signal's time.
    int RunStarted(const std::function<pid_t()>& start, const std::vector<Signal>& signals) {
        sim::SimDevice device(config_);
        device.Start();
        const pid_t pid = start();
        if (!signals.empty()) {
            EXPECT_TRUE(
                device.WaitFor([](const sim::SimStatus& s) { return s.framesIn > 0; }, 30s));
        }
        const auto started = std::chrono::steady_clock::now();
        for (const Signal& signal : signals) {
            std::this_thread::sleep_until(started + signal.after);
            kill(pid, signal.number);
        }
        const int status = WaitForTool(pid);
        flash_ = device.Flash();
        frames_ = device.Status().Frames();
        device.Stop();
        return status;
    }

    // Starts the device, runs the tool with `arguments`, and sends it
    // `signal` `after` the device's status first meets `when` (within 30 s);
    // returns the exit status, -1 for none (a signal ended it).
    int RunSignalledWhen(std::vector<std::string> arguments,
                         const std::function<bool(const sim::SimStatus&)>& when, int signal,
                         std::chrono::milliseconds after = 0ms) {
        sim::SimDevice device(config_);
        device.Start();
        const pid_t pid = StartTool(arguments, dir_ + "/out", dir_ + "/err");
        EXPECT_TRUE(device.WaitFor(when, 30s));
        std::this_thread::sleep_for(after);
        kill(pid, signal);
        const int status = WaitForTool(pid);
        flash_ = device.Flash();
        frames_ = device.Status().Frames();
        device.Stop();
        return status;
    }

    // Starts the device and runs the tool with `arguments`, killed when it has
    // not ended within `limit`; returns the exit status, -1 when killed.
    int RunWithin(std::vector<std::string> arguments, std::chrono::milliseconds limit) {
        sim::SimDevice device(config_);
        device.Start();
        const pid_t pid = StartTool(arguments, dir_ + "/out", dir_ + "/err");
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
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
    std::uint64_t frames_ = 0;
};

// The same with a folder standing for the system's ports: a simulated device
// linked there as VID_PID_SERIAL is an adapter plugged in.
class PluggedPorts : public Headless {
protected:
    PluggedPorts() {
        std::filesystem::create_directory(Ports());
        setenv("DEDARIDA_PORTS_FOLDER", Ports().c_str(), 1);
    }
    ~PluggedPorts() override { unsetenv("DEDARIDA_PORTS_FOLDER"); }

    std::string Ports() const { return dir_ + "/ports"; }
    // An adapter with USB ids 0403:6001 and serial number `serial`.
    std::string Adapter(const std::string& serial) const {
        return Ports() + "/0403_6001_" + serial;
    }
};

} // namespace dedarida::test
