// Adapters that nothing in their USB identity tells apart: clones that all
// say "0001" and the two ttys of one dual adapter, plugged in as links in a
// folder that stands for the system's ports.
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
using dedarida::test::StartTool;
using dedarida::test::WaitForTool;
namespace sim = dedarida::sim;

class LookAlikes : public dedarida::test::PluggedPorts {
protected:
    std::string Clone(int fixture) const {
        return Ports() + "/1a86_7523_0001@1-" + std::to_string(fixture);
    }
    std::string Dual(int interface) const {
        return Ports() + "/0403_6010_FT2@1-3:0" + std::to_string(interface);
    }
    sim::SimDevice& Plug(const std::string& entry) {
        devices_.push_back(std::make_unique<sim::SimDevice>(QuickDevice(entry)));
        devices_.back()->Start();
        return *devices_.back();
    }
    int Tool(const std::vector<std::string>& arguments) {
        return WaitForTool(StartTool(arguments, dir_ + "/out", dir_ + "/err"));
    }
    static bool Programmed(const sim::SimDevice& device) {
        const auto firmware = dedarida::EmbeddedFirmware();
        const auto flash = device.Flash();
        return std::equal(firmware.begin(), firmware.end(), flash.begin()) &&
               device.Status().checkPassed == true;
    }

    std::vector<std::unique_ptr<sim::SimDevice>> devices_;
};

TEST_F(LookAlikes, TheListMarksThemAndNamesWhatTellsThemApart) {
    for (const std::string& entry : {Clone(1), Clone(2), Dual(0), Dual(1)})
        std::filesystem::create_symlink("/dev/null", entry);
    std::filesystem::create_symlink("/dev/null", Ports() + "/0403_6001_A1@1-4");
    ASSERT_EQ(Tool({"--list-ports", "--json"}), 0) << Read("err");
    std::map<std::string, nlohmann::json> alike;
    for (const auto& port : nlohmann::json::parse(Read("out")))
        alike[port["device"]] = port["lookAlikeOf"];
    using List = std::vector<std::string>;
    EXPECT_EQ(alike.at(Clone(1)).get<List>(), List{Clone(2)});
    EXPECT_EQ(alike.at(Clone(2)).get<List>(), List{Clone(1)});
    EXPECT_EQ(alike.at(Dual(0)).get<List>(), List{Dual(1)});
    EXPECT_EQ(alike.at(Ports() + "/0403_6001_A1@1-4").get<List>(), List{});

    ASSERT_EQ(Tool({"--list-ports"}), 0) << Read("err");
    const std::string text = Read("out");
    for (const std::string& line :
         {"  look-alike of " + Clone(2) +
              " (the same USB ids and serial number): name it --port usb-path:1-1\n",
          "  look-alike of " + Dual(0) +
              " (the same USB ids and serial number): name it --port usb-path:1-3:01\n"})
        EXPECT_NE(text.find(line), std::string::npos) << text;
    std::size_t marked = 0;
    for (std::size_t at = text.find("look-alike of"); at != std::string::npos;
         at = text.find("look-alike of", at + 1))
        ++marked;
    EXPECT_EQ(marked, 4u) << text;
}

TEST_F(LookAlikes, ASelectorThatMatchesThemIsRefusedWithTheirPathsAndAPathPicksOne) {
    sim::SimDevice& first = Plug(Clone(1));
    sim::SimDevice& second = Plug(Clone(2));
    EXPECT_EQ(Tool({"--upgrade", "--port", "usb:1a86:7523:0001"}), 4);
    EXPECT_NE(Read("err").find("usb:1a86:7523:0001 matches 2 adapters: " + Clone(1) +
                               " (serial 0001, usb-path:1-1) " + Clone(2) +
                               " (serial 0001, usb-path:1-2); they look alike"),
              std::string::npos)
        << Read("err");
    EXPECT_EQ(first.Status().Frames() + second.Status().Frames(), 0u);

    sim::SimDevice& if0 = Plug(Dual(0));
    sim::SimDevice& if1 = Plug(Dual(1));
    EXPECT_EQ(Tool({"--upgrade", "--port", "usb-path:1-3"}), 4);
    EXPECT_NE(Read("err").find("(serial FT2, usb-path:1-3:01); add the interface"),
              std::string::npos)
        << Read("err");
    EXPECT_EQ(Tool({"--upgrade", "--port", "usb-path:1-3:01"}), 0) << Read("err");
    EXPECT_TRUE(Programmed(if1));
    EXPECT_EQ(if0.Status().Frames() + first.Status().Frames() + second.Status().Frames(), 0u);
}

TEST_F(LookAlikes, TheStationUpgradesEachAsAUnitOfItsOwn) {
    const pid_t station =
        StartTool({"--station", "--log", dir_ + "/log", "--station-name", "line-3"}, dir_ + "/out",
                  dir_ + "/err");
    // One after another, each once the one before is being upgraded.
    for (const std::string& entry : {Clone(1), Clone(2), Dual(0), Dual(1)})
        ASSERT_TRUE(
            Plug(entry).WaitFor([](const sim::SimStatus& s) { return s.framesIn > 0; }, 10s))
            << Read("out");
    const auto records = [&] {
        std::vector<nlohmann::json> lines;
        std::istringstream log(Read("log"));
        for (std::string line; std::getline(log, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    };
    for (const auto& device : devices_)
        EXPECT_TRUE(
            device->WaitFor([](const sim::SimStatus& s) { return s.checkPassed == true; }, 30s));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (records().size() < devices_.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    kill(station, SIGINT);
    EXPECT_EQ(WaitForTool(station), 0) << Read("out");
    for (const auto& device : devices_)
        EXPECT_TRUE(Programmed(*device));
    std::set<std::string> ports;
    for (const auto& record : records()) {
        EXPECT_EQ(record["result"], "programmed");
        ports.insert(record["port"].get<std::string>());
    }
    EXPECT_EQ(ports, (std::set<std::string>{Clone(1), Clone(2), Dual(0), Dual(1)})) << Read("log");
    EXPECT_NE(Read("out").find("station line-3: 4 units, 4 passed"), std::string::npos)
        << Read("out");
}

// The clone that sat beside the unit when its line went is pulled and
// another plugged into its fixture: a clone, but not in the unit's USB port.
TEST_F(LookAlikes, ACloneInAnotherFixtureIsNeverTakenForALostUnit) {
    auto passed = std::make_unique<sim::SimDevice>(QuickDevice(Clone(2)));
    passed->Start();
    sim::SimConfig config = QuickDevice(Clone(1));
    config.faults.hangUpAtBlock = 40;
    config.faults.comebackDelay = 60s;
    sim::SimDevice unit(config);
    unit.Start();
    const pid_t tool =
        StartTool({"--upgrade", "--port", Clone(1), "--retries", "1", "--timeout", "4", "--json"},
                  dir_ + "/out", dir_ + "/err");
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Read("err").find("waiting up to") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_NE(Read("err").find("waiting up to"), std::string::npos) << Read("err");
    // The wait starts once the lost port is closed, which takes up to half a second.
    std::this_thread::sleep_for(1s);
    passed.reset();
    std::this_thread::sleep_for(200ms);
    sim::SimDevice& fresh = Plug(Clone(2));
    EXPECT_EQ(WaitForTool(tool), 1) << Read("err");
    EXPECT_EQ(nlohmann::json::parse(Read("out"))["result"], "line-error");
    EXPECT_EQ(fresh.Status().Frames(), 0u) << Read("err");
}

} // namespace
