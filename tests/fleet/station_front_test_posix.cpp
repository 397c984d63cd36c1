// The station as a window's front drives it: in this process, on a thread
// of its own, told of each unit's position, its waits and its removal, and
// stopped from another thread as Ctrl-C stops it.
#include "fleet/station.h"
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
namespace sim = dedarida::sim;
using namespace dedarida;

// What the station told its front, a line per call but progress.
class Told : public FleetReport {
public:
    void UnitBegins(std::size_t row, const UnitBeginning& unit) override {
        Say(row, "begins " + unit.position + " " + unit.usbSerial);
    }
    void UnitEvent(std::size_t, const std::string&) override {}
    void UnitProgress(std::size_t, const ProgressSnapshot&) override {}
    void UnitEnds(std::size_t row, const UpgradeSummary& summary) override {
        Say(row, "ends " + summary.result + " " + std::to_string(summary.attempts));
    }
    void UnitWaiting(std::size_t row, std::chrono::seconds window) override {
        Say(row, "waits " + std::to_string(window.count()));
    }
    void UnitGone(std::size_t row) override { Say(row, "gone"); }
    void Line(const std::string& line) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }

    // What was said of the unit whose first line is `begins`.
    std::vector<std::string> Of(const std::string& begins) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> lines;
        std::size_t row = SIZE_MAX;
        for (const auto& [r, line] : said_) {
            if (line == begins)
                row = r;
            else if (r == row && line.starts_with("begins"))
                break;
            if (r == row)
                lines.push_back(line);
        }
        return lines;
    }
    bool Printed(const std::string& line) const {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }
    bool Has(const std::string& begins, const std::string& line) const {
        const auto lines = Of(begins);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

private:
    void Say(std::size_t row, std::string line) {
        std::lock_guard lock(mutex_);
        said_.emplace_back(row, std::move(line));
    }

    mutable std::mutex mutex_;
    std::vector<std::pair<std::size_t, std::string>> said_;
    std::vector<std::string> lines_;
};

class StationFront : public test::PluggedPorts {
protected:
    UnitSettings Settings() {
        const auto firmware = EmbeddedFirmware();
        std::ofstream(dir_ + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(firmware.data()), firmware.size());
        UnitSettings settings{
            {}, "line-3", {}, test::Sha256Sum(dir_ + "/fw.bin"), DEDARIDA_EXECUTABLE};
        settings.options.station = true;
        settings.options.retries = 1;
        settings.options.logPath = dir_ + "/log";
        return settings;
    }
    std::vector<nlohmann::json> Records() const {
        std::vector<nlohmann::json> records;
        std::istringstream log(Read("log"));
        for (std::string line; std::getline(log, line);)
            records.push_back(nlohmann::json::parse(line));
        return records;
    }
    static bool Within(std::chrono::seconds limit, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
};

TEST_F(StationFront, ItsUnitsKeepTheirPositionsAndAStopFromAnotherThreadEndsThemWithRecords) {
    const UnitSettings settings = Settings();
    Told told;
    StationStop stop;
    StationTally tally;
    std::thread station([&] { tally = RunStation(settings, told, &stop); });

    // Destroyed, a simulated device is unplugged.
    auto passing = std::make_unique<sim::SimDevice>(QuickDevice(Adapter("P1@1-2")));
    sim::SimConfig pulled = QuickDevice(Adapter("R1@1-3"));
    pulled.faults.hangUpAtBlock = 40;
    pulled.faults.comebackDelay = 500ms;
    pulled.faults.comebackInBootloader = true;
    sim::SimDevice comeback(pulled);
    sim::SimConfig slow = QuickDevice(Adapter("S1@1-1"));
    slow.programTime = 200ms;
    sim::SimDevice running(slow);
    for (sim::SimDevice* device : {passing.get(), &comeback, &running})
        device->Start();

    const std::string p1 = "begins usb-path:1-2 P1";
    const std::string r1 = "begins usb-path:1-3 R1";
    const std::string s1 = "begins usb-path:1-1 S1";
    EXPECT_TRUE(Within(30s, [&] { return told.Has(p1, "ends programmed 1"); }));
    passing.reset();
    EXPECT_TRUE(Within(10s, [&] { return told.Has(p1, "gone"); }));
    EXPECT_TRUE(Within(30s, [&] { return told.Has(r1, "ends programmed 2"); }));
    EXPECT_TRUE(running.WaitFor([](const sim::SimStatus& s) { return s.blocksStored >= 2; }, 20s));

    std::thread([&] { stop.Stop(); }).join();
    station.join();
    EXPECT_EQ(told.Of(p1), (std::vector<std::string>{p1, "ends programmed 1", "gone"}));
    EXPECT_EQ(told.Of(r1), (std::vector<std::string>{r1, "waits 30", "ends programmed 2"}));
    EXPECT_EQ(told.Of(s1), (std::vector<std::string>{s1, "ends interrupted 1"}));
    EXPECT_EQ(tally.units, 3u);
    EXPECT_EQ(tally.passed, 2u);
    EXPECT_EQ(tally.interrupted, 1u);
    EXPECT_EQ(StationStatus(tally), 130);
    EXPECT_LT(running.Status().blocksStored, 86u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 3u) << Read("log");
    const auto slowRecord = std::find_if(records.begin(), records.end(),
                                         [](const auto& r) { return r["usbSerial"] == "S1"; });
    ASSERT_NE(slowRecord, records.end());
    EXPECT_EQ((*slowRecord)["result"], "interrupted");
}

// A stop that comes before the station runs ends it as it starts.
TEST_F(StationFront, AStopBeforeTheStartEndsTheStationAtOnce) {
    UnitSettings settings = Settings();
    settings.options.ports = {"usb:0403:6001:P1", "usb-path:1-2"};
    Told told;
    StationStop stop;
    stop.Stop();
    sim::SimDevice unit(QuickDevice(Adapter("P1")));
    unit.Start();
    const StationTally tally = RunStation(settings, told, &stop);
    EXPECT_EQ(tally.units, 0u);
    EXPECT_EQ(unit.Status().framesOut, 0u);
    // The filters as they were given, each named once.
    EXPECT_TRUE(told.Printed("station line-3: waiting for adapters usb:0403:6001:P1 or "
                             "usb-path:1-2 (Ctrl-C ends the station)"));
}

} // namespace
