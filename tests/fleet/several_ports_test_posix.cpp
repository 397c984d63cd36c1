#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"
#include "tests/cli/terminal.h"

#include <algorithm>
#include <csignal>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using dedarida::test::Headless;
namespace sim = dedarida::sim;

// Several simulated devices, each on its own line, and the tool run on all at once.
class SeveralPorts : public Headless {
protected:
    // Adds a device on line `name`; the tool is given its port in this order.
    sim::SimConfig& AddDevice(const std::string& name) {
        configs_.push_back(dedarida::test::QuickDevice(dir_ + "/" + name));
        return configs_.back();
    }
    // `ignoreChildren`: the tool starts with SIGCHLD ignored, as a parent may leave it.
    int RunAll(std::vector<std::string> arguments, std::chrono::milliseconds interruptAfter = 0ms,
               bool ignoreChildren = false) {
        std::vector<std::unique_ptr<sim::SimDevice>> devices;
        for (const auto& config : configs_) {
            devices.push_back(std::make_unique<sim::SimDevice>(config));
            devices.back()->Start();
        }
        if (ignoreChildren)
            std::signal(SIGCHLD, SIG_IGN);
        const pid_t pid = dedarida::test::StartTool(arguments, dir_ + "/out", dir_ + "/err");
        std::signal(SIGCHLD, SIG_DFL);
        if (interruptAfter > 0ms) {
            std::this_thread::sleep_for(interruptAfter);
            kill(pid, SIGINT);
        }
        const int status = dedarida::test::WaitForTool(pid);
        for (auto& device : devices) {
            flashes_.push_back(device->Flash());
            checks_.push_back(device->Status().checkPassed);
            device->Stop();
        }
        return status;
    }
    // The output line that starts with `start`, or an empty one.
    std::string LineStarting(const std::string& name, const std::string& start) const {
        std::istringstream text(Read(name));
        for (std::string line; std::getline(text, line);)
            if (line.starts_with(start))
                return line;
        return {};
    }
    std::string Port(const std::string& name) const { return dir_ + "/" + name; }

    std::deque<sim::SimConfig> configs_;
    std::vector<std::array<std::uint8_t, sim::FlashSize>> flashes_;
    std::vector<std::optional<bool>> checks_;
};

TEST_F(SeveralPorts, FourDevicesAtOnceEachWithItsOwnOutcomeSummaryAndTheFirstFailureAsStatus) {
    AddDevice("good1");
    AddDevice("verify").faults.verifyErrorBlocks = {7};
    AddDevice("good2");
    const std::string missing = Port("missing");
    EXPECT_EQ(RunAll({"--upgrade", "--port", Port("good1"), "--port", Port("verify"), "--port",
                      missing, "--port", Port("good2"), "--json", "--trace", dir_ + "/trace"}),
              1);

    const auto firmware = dedarida::EmbeddedFirmware();
    for (const std::size_t programmed : {0, 2}) {
        EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), flashes_[programmed].begin()));
        EXPECT_EQ(checks_[programmed], true);
    }
    EXPECT_EQ(checks_[1], false);
    std::string traceName = Port("verify");
    std::replace(traceName.begin(), traceName.end(), '/', '_');
    EXPECT_NE(Read("trace." + traceName).find("| Erase Flash"), std::string::npos);

    // Every line carries its port; the table has a row per port in order.
    const std::string err = Read("err");
    EXPECT_NE(err.find(Port("verify") + ": status: Verify error"), std::string::npos) << err;
    EXPECT_NE(err.find(missing + ": dedarida: " + missing + " does not exist"), std::string::npos)
        << err;
    EXPECT_NE(err.find(Port("good2") + ": message: System Programmed OK  v4.5"), std::string::npos);
    const std::string header = LineStarting("err", "port ");
    ASSERT_FALSE(header.empty()) << err;
    EXPECT_NE(header.find("identity"), std::string::npos);
    EXPECT_NE(header.find("data rate"), std::string::npos);
    const auto row = [&](const std::string& port) { return LineStarting("err", port + "  "); };
    EXPECT_NE(row(Port("good1")).find("FW ID  v4.1  programmed (exit 0)"), std::string::npos)
        << err;
    EXPECT_NE(row(Port("verify")).find("program-fail (exit 1)"), std::string::npos) << err;
    EXPECT_NE(row(missing).find("port-error (exit 4)"), std::string::npos) << err;
    EXPECT_NE(row(Port("good2")).find("B/s"), std::string::npos) << err;
    EXPECT_LT(err.find(row(Port("good1"))), err.find(row(Port("good2"))));

    const std::string json = Read("out");
    ASSERT_TRUE(json.starts_with("[\n  {\"time\":")) << json;
    EXPECT_LT(json.find("\"port\":\"" + Port("good1") + "\""), json.find(Port("verify")));
    EXPECT_TRUE(json.ends_with("}\n]\n")) << json;
    std::size_t at = 0;
    // The port's record says why it could not be used.
    EXPECT_NE(json.find("\"reason\":\"" + missing + " does not exist."), std::string::npos) << json;
    for (const char* result : {"programmed", "program-fail", "port-error", "programmed"}) {
        at = json.find(std::string("\"result\":\"") + result + "\"", at);
        EXPECT_NE(at, std::string::npos) << result << "\n" << json;
    }
}

// A device's text once forged its port's row: an identity reply with a line
// end and a summary line made a refused device "programmed" and the run exit 0.
TEST_F(SeveralPorts, ADevicesTextCannotForgeItsResult) {
    AddDevice("good");
    // The tool takes texts of up to 35 characters.
    AddDevice("forger").identity = "FW ID  v2.0\nsummary: 0 0 0 forged";
    EXPECT_EQ(RunAll({"--upgrade", "--port", Port("good"), "--port", Port("forger")}), 2);
    const std::string out = Read("out");
    EXPECT_NE(LineStarting("out", Port("forger") + "  ").find("refused (exit 2)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("FW ID  v2.0\\nsummary: 0 0 0 forged"), std::string::npos) << out;
    EXPECT_EQ(LineStarting("out", "summary:"), "") << out;
}

TEST_F(SeveralPorts, CtrlCStopsEveryUpgradeAndReportsEachInterrupted) {
    for (const char* name : {"one", "two"})
        AddDevice(name).faults.dropReply = {{sim::RequestKind::Identity, 1}};
    EXPECT_EQ(RunAll({"--upgrade", "--port", Port("one"), "--port", Port("two")}, 700ms), 130);
    for (const char* name : {"one", "two"}) {
        EXPECT_NE(Read("out").find(Port(name) + ": result: interrupted; the port is closed"),
                  std::string::npos)
            << Read("out");
        EXPECT_NE(LineStarting("out", Port(name) + "  ").find("interrupted (exit 130)"),
                  std::string::npos)
            << Read("out");
    }
}

// Ignored, SIGCHLD lets the system reap the units' processes, and their
// exit statuses are lost with them.
TEST_F(SeveralPorts, AToolStartedWithChildSignalsIgnoredStillSupervisesItsUnits) {
    AddDevice("one");
    AddDevice("two");
    EXPECT_EQ(RunAll({"--upgrade", "--port", Port("one"), "--port", Port("two")}, 0ms, true), 0)
        << Read("err");
    const auto firmware = dedarida::EmbeddedFirmware();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(checks_[i], true);
        EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), flashes_[i].begin()));
    }
}

TEST_F(SeveralPorts, OnATerminalEachPortHasALiveLineThatEndsAsItsResult) {
    AddDevice("one");
    AddDevice("two").identity = "FW ID  v2.0";
    std::vector<std::unique_ptr<sim::SimDevice>> devices;
    for (const auto& config : configs_) {
        devices.push_back(std::make_unique<sim::SimDevice>(config));
        devices.back()->Start();
    }
    dedarida::test::Terminal terminal(100);
    const pid_t pid = dedarida::test::StartTool(
        {"--upgrade", "--port", Port("one"), "--port", Port("two")}, "", "", terminal.Slave());
    const std::string output = terminal.ReadAll();
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 2);
    EXPECT_NE(output.find(Port("one") + ": [#"), std::string::npos) << output;

    const auto screen = dedarida::test::Screen(output);
    const auto shows = [&](const std::string& line) {
        return std::find(screen.begin(), screen.end(), line) != screen.end();
    };
    EXPECT_TRUE(shows(Port("one") + ": result: programmed (exit 0)"));
    EXPECT_TRUE(shows(Port("two") + ": result: refused (exit 2)"));
    EXPECT_TRUE(shows(Port("two") + ": message: You can not update this device !"));
    for (const auto& line : screen)
        EXPECT_EQ(line.find(": ["), std::string::npos) << line;
    ASSERT_GE(screen.size(), 3u);
    EXPECT_TRUE(screen[screen.size() - 3].starts_with("port ")) << screen[screen.size() - 3];
    EXPECT_TRUE(screen.back().starts_with(Port("two") + "  ")) << screen.back();
}

// The parent's terminal stopped (Ctrl-S) for the whole upgrade.
TEST_F(SeveralPorts, AStoppedTerminalHoldsNoUpgradeBackAndShowsTheResultsOnceItGoesOn) {
    AddDevice("one");
    AddDevice("two");
    std::vector<std::unique_ptr<sim::SimDevice>> devices;
    for (const auto& config : configs_) {
        devices.push_back(std::make_unique<sim::SimDevice>(config));
        devices.back()->Start();
    }
    dedarida::test::Terminal terminal(100);
    terminal.Stop();
    const pid_t pid = dedarida::test::StartTool(
        {"--upgrade", "--port", Port("one"), "--port", Port("two")}, "", "", terminal.Slave());
    const auto firmware = dedarida::EmbeddedFirmware();
    for (const auto& device : devices) {
        EXPECT_TRUE(device->WaitFor([](const auto& s) { return s.checkPassed.has_value(); }, 40s));
        EXPECT_EQ(device->Status().checkPassed, true);
        const auto flash = device->Flash();
        EXPECT_TRUE(std::equal(firmware.begin(), firmware.end(), flash.begin()));
    }
    EXPECT_FALSE(terminal.HasOutput());
    terminal.Resume();
    const std::string output = terminal.ReadAll();
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);

    const auto screen = dedarida::test::Screen(output);
    for (const char* name : {"one", "two"}) {
        EXPECT_NE(
            std::find(screen.begin(), screen.end(), Port(name) + ": result: programmed (exit 0)"),
            screen.end())
            << output;
        EXPECT_NE(std::find_if(screen.begin(), screen.end(),
                               [&](const auto& line) {
                                   return line.starts_with(Port(name) + "  ") &&
                                          line.find("programmed (exit 0)") != std::string::npos;
                               }),
                  screen.end())
            << output;
    }
}

TEST_F(SeveralPorts, APortGivenTwiceIsACommandLineMistake) {
    EXPECT_EQ(RunAll({"--upgrade", "--port", Port("a"), "--port", Port("a")}), 64);
    EXPECT_NE(Read("err").find("is given twice"), std::string::npos);
}

} // namespace
