// The production station and the unit upgrade's recovery, with adapters
// "plugged in" as links in a folder that stands for the system's ports.
#include "tests/headless/headless_fixture.h"
#include "tests/headless/terminal.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
using dedarida::test::StartTool;
using dedarida::test::WaitForTool;
namespace sim = dedarida::sim;

class Station : public dedarida::test::Headless {
protected:
    Station() {
        std::filesystem::create_directory(Ports());
        setenv("DEDARIDA_PORTS_FOLDER", Ports().c_str(), 1);
    }
    ~Station() override { unsetenv("DEDARIDA_PORTS_FOLDER"); }

    std::string Ports() const { return dir_ + "/ports"; }
    // An adapter with USB ids 0403:6001 and serial number `serial`.
    std::string Adapter(const std::string& serial) const {
        return Ports() + "/0403_6001_" + serial;
    }
    std::vector<nlohmann::json> Records() const {
        std::vector<nlohmann::json> records;
        std::istringstream log(Read("log"));
        for (std::string line; std::getline(log, line);)
            records.push_back(nlohmann::json::parse(line));
        return records;
    }
    // Waits for the log to hold `count` records.
    bool WaitForRecords(std::size_t count, std::chrono::seconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            std::size_t lines = 0;
            for (const char c : Read("log"))
                lines += c == '\n';
            if (lines >= count)
                return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
};

TEST_F(Station, FiveUnitsPluggedInTurnGiveFiveRecordsAndNoPrompt) {
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log", "--station-name", "line-3"}, dir_ + "/out",
                  dir_ + "/err");
    std::vector<std::unique_ptr<sim::SimDevice>> units;
    for (int n = 1; n <= 5; ++n) {
        std::this_thread::sleep_for(n == 1 ? 500ms : 1500ms);
        units.push_back(
            std::make_unique<sim::SimDevice>(QuickDevice(Adapter("UNIT" + std::to_string(n)))));
        units.back()->Start();
    }
    ASSERT_TRUE(WaitForRecords(5, 60s)) << Read("out") << Read("err");
    for (auto& unit : units) {
        EXPECT_EQ(unit->Status().checkPassed, true);
        unit->Stop();
    }
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0);

    std::set<std::string> serials;
    for (const auto& record : Records()) {
        EXPECT_EQ(record["result"], "programmed");
        EXPECT_EQ(record["station"], "line-3");
        EXPECT_EQ(record["attempts"], 1);
        EXPECT_TRUE(record["time"].get<std::string>().ends_with("Z"));
        serials.insert(record["usbSerial"].get<std::string>());
    }
    EXPECT_EQ(serials, (std::set<std::string>{"UNIT1", "UNIT2", "UNIT3", "UNIT4", "UNIT5"}));
    const std::string out = Read("out");
    EXPECT_NE(out.find("station line-3: 5 units, 5 passed, 0 failed, yield 100.0%"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("recover it with"), std::string::npos);
}

// The station's terminal stopped (Ctrl-S) while a unit is plugged in.
TEST_F(Station, AStoppedTerminalHoldsNoUnitBackAndShowsItsVerdictOnceItGoesOn) {
    dedarida::test::Terminal terminal(100);
    terminal.Stop();
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log", "--station-name", "line-3"}, "", "",
                  terminal.Slave());
    std::this_thread::sleep_for(500ms);
    sim::SimDevice unit(QuickDevice(Adapter("UNIT1")));
    unit.Start();
    ASSERT_TRUE(WaitForRecords(1, 40s));
    EXPECT_EQ(Records().front()["result"], "programmed");
    EXPECT_EQ(unit.Status().checkPassed, true);
    unit.Stop();
    EXPECT_FALSE(terminal.HasOutput());
    kill(station, SIGINT);
    terminal.Resume();
    const std::string output = terminal.ReadAll();
    EXPECT_EQ(WaitForTool(station), 0);
    const auto screen = dedarida::test::Screen(output);
    const auto shows = [&](const std::string& start) {
        return std::any_of(screen.begin(), screen.end(),
                           [&](const auto& line) { return line.starts_with(start); });
    };
    EXPECT_TRUE(shows(Adapter("UNIT1") + ": PASS  FW ID  v4.1  programmed (exit 0)")) << output;
    EXPECT_TRUE(shows("station line-3: 1 unit")) << output;
}

// The adapter is pulled at block 40 and comes back in the device's
// bootloader: the second attempt goes on from there.
TEST_F(Station, APulledUnitComesBackAndIsUpgradedOnItsSecondAttempt) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 500ms;
    config_.faults.comebackInBootloader = true;
    EXPECT_EQ(Run({"--upgrade", "--port", "usb:0403:6001:A1", "--retries", "1", "--json"}), 0)
        << Read("err");
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "programmed");
    EXPECT_EQ(record["attempts"], 2);
    EXPECT_EQ(record["usbSerial"], "A1");
    EXPECT_NE(Read("err").find("the device is back at " + Adapter("A1")), std::string::npos);
}

TEST_F(Station, ADeviceLeftInItsBootloaderIsNamedWithTheCommandThatRecoversIt) {
    config_ = QuickDevice(Adapter("B1"));
    config_.startMode = sim::DeviceMode::Bootloader;
    EXPECT_EQ(Run({"--upgrade", "--port", Adapter("B1")}), 5);
    EXPECT_NE(Read("out").find("message: the device is in its bootloader (an interrupted "
                               "upgrade?); recover it with: dedarida --upgrade --port " +
                               Adapter("B1") + " --from-bootloader"),
              std::string::npos)
        << Read("out");
    EXPECT_EQ(Run({"--upgrade", "--port", Adapter("B1"), "--retries", "1"}), 0) << Read("out");
}

} // namespace
