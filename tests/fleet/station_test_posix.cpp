// The production station and the unit upgrade's recovery, with adapters
// "plugged in" as links in a folder that stands for the system's ports.
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"
#include "tests/cli/terminal.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iomanip>
#include <iterator>
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

// The processes whose parent is `parent`, from the system's own table.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = opendir("/proc");
    while (const dirent* entry = readdir(proc)) {
        if (std::atoi(entry->d_name) <= 0)
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        char state = 0;
        pid_t ppid = 0;
        if (close != std::string::npos &&
            std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(std::atoi(entry->d_name));
    }
    closedir(proc);
    return children;
}

class Station : public dedarida::test::PluggedPorts {
protected:
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
    EXPECT_NE(out.find("station line-3: 5 units, 5 passed, 0 failed, 0 interrupted, yield 100.0%"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("recover it with"), std::string::npos);
}

// Killed outright, the station can pass nothing on: its units' processes
// must end by themselves, let their ports go and log the interruption, not
// go on to log results that nobody supervised.
TEST_F(Station, AStationKilledOutrightTakesItsUnitsProcessesWithIt) {
    config_ = QuickDevice(Adapter("K1"));
    config_.programTime = 100ms;
    sim::SimDevice unit(config_);
    unit.Start();
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log"}, dir_ + "/out", dir_ + "/err");
    // Ended whatever the outcome, so that a failure leaves no station behind.
    const std::shared_ptr<void> reaped(nullptr, [station](void*) {
        kill(station, SIGKILL);
        WaitForTool(station);
    });
    ASSERT_TRUE(unit.WaitFor([](const sim::SimStatus& s) { return s.blocksStored >= 2; }, 20s))
        << Read("err");
    const std::vector<pid_t> children = ChildrenOf(station);
    ASSERT_EQ(children.size(), 1u);
    // Named as the tool, so "in use by" and ps say who holds the port.
    std::ifstream comm("/proc/" + std::to_string(children[0]) + "/comm");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(comm), {}), "dedarida\n");
    kill(station, SIGKILL);
    EXPECT_TRUE(unit.WaitFor([](const sim::SimStatus& s) { return !s.toolPresent; }, 1s));
    ASSERT_TRUE(WaitForRecords(1, 2s));
    unit.Stop();
    EXPECT_EQ(Records().front()["result"], "interrupted");
    EXPECT_LT(unit.Status().blocksStored, 86u);
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
    EXPECT_TRUE(shows("station line-3: 1 unit, 1 passed")) << output;
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

bool HungUp(const sim::SimStatus& status) {
    return status.ptyGeneration == 1 && status.slavePath.empty();
}

bool IsTheImage(const std::array<std::uint8_t, sim::FlashSize>& flash) {
    const auto firmware = dedarida::EmbeddedFirmware();
    return std::equal(firmware.begin(), firmware.end(), flash.begin());
}

// Right after the hang-up the unit's node is still listed, but no open
// reaches the device: that is not the unit back, nor a port error.
TEST_F(Station, ANodeOutlastingTheHangUpIsWaitedOutUntilTheUnitIsBack) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.lingerAfterHangUp = 500ms;
    config_.faults.comebackDelay = 1500ms;
    config_.faults.comebackInBootloader = true;
    EXPECT_EQ(Run({"--upgrade", "--port", "usb:0403:6001:A1", "--retries", "1", "--json"}), 0)
        << Read("err");
    EXPECT_TRUE(IsTheImage(flash_));
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "programmed");
    EXPECT_EQ(record["attempts"], 2);
}

// Clones share a serial number: the other one, passed and still plugged in
// when the line went, is no comeback.
TEST_F(Station, AClonePresentWhenTheLineWentIsNeverTakenForTheUnit) {
    sim::SimDevice passed(QuickDevice(Adapter("CLONE@1-2")));
    passed.Start();
    config_ = QuickDevice(Adapter("CLONE@1-1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 60s;
    EXPECT_EQ(Run({"--upgrade", "--port", Adapter("CLONE@1-1"), "--retries", "1", "--timeout", "3",
                   "--json"}),
              1)
        << Read("err");
    EXPECT_FALSE(IsTheImage(flash_));
    EXPECT_EQ(nlohmann::json::parse(Read("out"))["result"], "line-error");
    EXPECT_EQ(passed.Status().Requests(sim::RequestKind::Identity), 0u);
    EXPECT_EQ(passed.Status().Requests(sim::RequestKind::Erase), 0u);
}

TEST_F(Station, AnInterruptWhileWaitingForTheUnitEndsInterruptedWithItsRecord) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 60s;
    EXPECT_EQ(RunSignalledWhen({"--upgrade", "--port", Adapter("A1"), "--retries", "1", "--json"},
                               HungUp, SIGTERM, 300ms),
              130);
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "interrupted");
    EXPECT_EQ(record["exitStatus"], 130);
}

// The unit did not come back: the record is of the end, not of the loss.
TEST_F(Station, AUnitNotBackInTimeIsRecordedWhenTheWaitEnds) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 60s;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(
        Run({"--upgrade", "--port", Adapter("A1"), "--retries", "1", "--timeout", "3", "--json"}),
        1);
    const double ran =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "line-error");
    EXPECT_GT(record["seconds"].get<double>(), ran - 1.0) << ran;
    std::tm utc{};
    std::istringstream(record["time"].get<std::string>()) >>
        std::get_time(&utc, "%Y-%m-%dT%H:%M:%S");
    const auto recorded = std::chrono::system_clock::from_time_t(timegm(&utc));
    EXPECT_LT(std::chrono::abs(std::chrono::system_clock::now() - recorded), 2s) << record["time"];
}

// Back in its application, the unit starts over from its identity.
TEST_F(Station, AUnitBackInItsApplicationIsUpgradedFromThere) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 500ms;
    EXPECT_EQ(Run({"--upgrade", "--port", Adapter("A1"), "--retries", "2", "--json"}), 0)
        << Read("err");
    EXPECT_TRUE(IsTheImage(flash_));
    EXPECT_EQ(nlohmann::json::parse(Read("out"))["attempts"], 2);
}

// When its application then stays silent, that is a timeout, not a
// bootloader that stopped answering.
TEST_F(Station, AUnitBackInItsApplicationThatStaysSilentTimesOut) {
    config_ = QuickDevice(Adapter("A1"));
    config_.faults.hangUpAtBlock = 40;
    config_.faults.comebackDelay = 500ms;
    config_.faults.dropReply = {{sim::RequestKind::Identity, 2}, {sim::RequestKind::Identity, 3}};
    sim::SimDevice device(config_);
    device.Start();
    const pid_t tool = StartTool(
        {"--upgrade", "--port", Adapter("A1"), "--retries", "2", "--timeout", "4", "--json"},
        dir_ + "/out", dir_ + "/err");
    EXPECT_EQ(WaitForTool(tool), 3) << Read("err");
    EXPECT_EQ(device.Status().Requests(sim::RequestKind::Erase), 1u);
    EXPECT_EQ(device.Status().mode, sim::DeviceMode::Application);
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "timeout");
    EXPECT_EQ(record["attempts"], 2);
    EXPECT_EQ(Read("err").find("left in its bootloader"), std::string::npos) << Read("err");
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

// A unit's process killed mid-flash leaves no record of its own: the
// station writes one, and the unit is no PASS.
TEST_F(Station, AUnitWhoseProcessIsKilledGetsACrashedRecord) {
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log"}, dir_ + "/out", dir_ + "/err");
    sim::SimConfig config = QuickDevice(Adapter("K1"));
    config.programTime = 20ms;
    sim::SimDevice unit(config);
    unit.Start();
    ASSERT_TRUE(unit.WaitFor([](const sim::SimStatus& s) { return s.blocksStored > 5; }, 20s));
    for (const pid_t child : ChildrenOf(station))
        kill(child, SIGKILL);
    ASSERT_TRUE(WaitForRecords(1, 10s)) << Read("err");
    unit.Stop();
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 1);
    const auto record = Records().at(0);
    EXPECT_EQ(record["result"], "crashed") << record;
    EXPECT_EQ(record["usbSerial"], "K1");
    EXPECT_NE(record["reason"].get<std::string>().find("signal 9"), std::string::npos) << record;
}

// A name of the system's, such as a port's, once printed a line of its own.
TEST_F(Station, APortsNameCannotStartALineOfItsOwn) {
    const pid_t station = StartTool({"--station"}, dir_ + "/out", dir_ + "/err");
    sim::SimConfig config = QuickDevice(Adapter("N1\nPASS  FW ID  v2.0  programmed (exit 0)"));
    config.identity = "FW ID  v2.0";
    sim::SimDevice unit(config);
    unit.Start();
    ASSERT_TRUE(unit.WaitFor([](const sim::SimStatus& s) { return s.framesOut > 0; }, 20s));
    std::this_thread::sleep_for(1s);
    unit.Stop();
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 1);
    std::istringstream out(Read("out"));
    for (std::string line; std::getline(out, line);)
        EXPECT_FALSE(line.starts_with("PASS")) << Read("out");
}

// Pulled mid-flash and plugged back into another fixture: the station lets
// the unit's own process take it back, and starts no second upgrade on it.
TEST_F(Station, AUnitPluggedBackElsewhereIsStillOneUnit) {
    const pid_t station = StartTool({"--station", "--log", dir_ + "/log", "--retries", "1"},
                                    dir_ + "/out", dir_ + "/err");
    sim::SimConfig config = QuickDevice(Adapter("M1@1-1"));
    config.faults.hangUpAtBlock = 40;
    config.faults.comebackDelay = 500ms;
    config.faults.comebackInBootloader = true;
    config.faults.comebackLink = Adapter("M1@1-2");
    sim::SimDevice unit(config);
    unit.Start();
    ASSERT_TRUE(WaitForRecords(1, 40s)) << Read("err");
    std::this_thread::sleep_for(1s);
    const auto status = unit.Status();
    unit.Stop();
    std::this_thread::sleep_for(500ms);
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0) << Read("out");
    ASSERT_EQ(Records().size(), 1u) << Read("log");
    EXPECT_EQ(Records()[0]["result"], "programmed");
    EXPECT_EQ(Records()[0]["attempts"], 2);
    EXPECT_EQ(status.Requests(sim::RequestKind::Identity), 1u);
    EXPECT_EQ(status.Requests(sim::RequestKind::Erase), 2u);
}

// A firmware file replaced during a shift changes nothing: every unit gets
// the image the station read when it started.
TEST_F(Station, EveryUnitGetsTheImageReadAtTheStart) {
    std::vector<std::uint8_t> first(88064), second(88064);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(i * 13 + 5);
        second[i] = static_cast<std::uint8_t>(i * 3 + 1);
    }
    const auto write = [&](const std::vector<std::uint8_t>& bytes) {
        std::ofstream(dir_ + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    write(first);
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log", "--firmware", dir_ + "/fw.bin"},
                  dir_ + "/out", dir_ + "/err");
    std::vector<std::unique_ptr<sim::SimDevice>> units;
    for (const char* serial : {"P1", "P2"}) {
        sim::SimConfig config = QuickDevice(Adapter(serial));
        config.reference = first;
        units.push_back(std::make_unique<sim::SimDevice>(config));
        units.back()->Start();
        ASSERT_TRUE(WaitForRecords(units.size(), 30s)) << Read("err");
        write(second);
    }
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0) << Read("err");
    for (auto& unit : units) {
        const auto flash = unit->Flash();
        EXPECT_TRUE(std::equal(first.begin(), first.end(), flash.begin()));
        unit->Stop();
    }
}

} // namespace

// A station job's units are separate processes: the job's name and its
// file's hash reach their records all the same.
TEST_F(Station, AStationJobsRecordsNameTheJob) {
    std::vector<std::uint8_t> image(88064);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 11 + 7);
    std::ofstream(dir_ + "/fw.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), image.size());
    const std::string job = dir_ + "/job.json";
    std::ofstream(job) << R"({"name": "line-3 fw 4.5.1", "station": "line-3", "log": "log",
                              "ports": ["usb:0403:6001"],
                              "firmware": {"file": "fw.bin", "sha256": ")" +
                              dedarida::test::Sha256Sum(dir_ + "/fw.bin") + R"("}})";
    const pid_t station = StartTool({"--job", job}, dir_ + "/out", dir_ + "/err");
    sim::SimConfig config = QuickDevice(Adapter("J1"));
    config.reference = image;
    sim::SimDevice unit(config);
    unit.Start();
    ASSERT_TRUE(WaitForRecords(1, 30s)) << Read("out") << Read("err");
    unit.Stop();
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0) << Read("err");
    const auto record = Records().at(0);
    EXPECT_EQ(record["result"], "programmed") << record;
    EXPECT_EQ(record["station"], "line-3");
    EXPECT_EQ(record["job"]["name"], "line-3 fw 4.5.1");
    EXPECT_EQ(record["job"]["sha256"], dedarida::test::Sha256Sum(job));
}
