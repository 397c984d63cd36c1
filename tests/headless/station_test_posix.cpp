// The production station and the unit upgrade's recovery, with adapters
// "plugged in" as links in a folder that stands for the system's ports.
#include "tests/headless/headless_fixture.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
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
    EXPECT_NE(out.find("station line-3: 5 units, 5 passed, 0 failed, 0 interrupted, yield 100.0%"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("recover it with"), std::string::npos);
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

// The processes `parent` started, from /proc.
std::vector<pid_t> Children(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const std::size_t end = text.rfind(')');
        int ppid = 0;
        char state = 0;
        if (end != std::string::npos &&
            std::sscanf(text.c_str() + end + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(std::stoi(name));
    }
    return children;
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
    for (const pid_t child : Children(station))
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
