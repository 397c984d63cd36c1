// Every option a unit's process takes, in each mode that runs units: one
// port, several ports, the station. Each row shows its effect on the
// simulated device or in the unit's record, read back with a JSON parser.
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
using dedarida::test::StartTool;
using dedarida::test::WaitForTool;
namespace sim = dedarida::sim;
using Flash = std::array<std::uint8_t, sim::FlashSize>;

enum class Mode { OnePort, SeveralPorts, Station };

// What a run left for a row to check.
struct Outcome {
    Mode mode = Mode::OnePort;
    int status = -1;
    nlohmann::json record; // the first unit's
    Flash flash{};         // the first unit's
    std::vector<std::string> files;
    std::string out;
    std::string err;
};

struct Row {
    const char* name;
    // "{dir}" stands for the run's folder.
    std::vector<std::string> options;
    std::function<void(sim::SimConfig&)> device;
    std::function<void(const Outcome&)> check;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

void PrintTo(Mode mode, std::ostream* out) {
    *out << static_cast<int>(mode);
}

class UnitOptions : public dedarida::test::PluggedPorts,
                    public ::testing::WithParamInterface<std::tuple<Mode, Row>> {
protected:
    std::string Unit(int n) const { return Adapter("U" + std::to_string(n)); }

    Outcome RunRow(Mode mode, const Row& row) {
        std::vector<std::string> options;
        for (const std::string& option : row.options)
            options.push_back(option.starts_with("{dir}") ? dir_ + option.substr(5) : option);
        const bool logged = std::find(options.begin(), options.end(), "--log") != options.end();
        std::vector<std::unique_ptr<sim::SimDevice>> units;
        for (int n = 1; n <= (mode == Mode::SeveralPorts ? 2 : 1); ++n) {
            sim::SimConfig config = QuickDevice(Unit(n));
            row.device(config);
            if (std::find(options.begin(), options.end(), "--firmware") != options.end())
                config.reference.clear();
            units.push_back(std::make_unique<sim::SimDevice>(config));
            units.back()->Start();
        }
        std::vector<std::string> arguments = {"--upgrade", "--port", Unit(1)};
        if (mode == Mode::SeveralPorts)
            arguments.insert(arguments.end(), {"--port", Unit(2)});
        if (mode == Mode::Station)
            arguments = {"--station"};
        arguments.insert(arguments.end(), options.begin(), options.end());

        Outcome outcome;
        outcome.mode = mode;
        const pid_t tool = StartTool(arguments, dir_ + "/out", dir_ + "/err");
        if (mode == Mode::Station) {
            // A station runs until Ctrl-C: once the unit has its end.
            const auto deadline = std::chrono::steady_clock::now() + 40s;
            while (std::chrono::steady_clock::now() < deadline &&
                   (logged ? Read("log").empty() : !units[0]->Status().checkPassed))
                std::this_thread::sleep_for(100ms);
            std::this_thread::sleep_for(300ms);
            kill(tool, SIGINT);
        }
        outcome.status = WaitForTool(tool);
        outcome.flash = units[0]->Flash();
        for (auto& unit : units)
            unit->Stop();
        outcome.out = Read("out");
        outcome.err = Read("err");
        if (logged) {
            std::istringstream log(Read("log"));
            for (std::string line; std::getline(log, line);)
                if (nlohmann::json::parse(line)["port"] == Unit(1))
                    outcome.record = nlohmann::json::parse(line);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            outcome.files.push_back(entry.path().filename().string());
        return outcome;
    }
};

// A firmware file of bytes no other test sends.
Flash Firmware() {
    Flash bytes{};
    std::mt19937 random(7);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return bytes;
}

bool IsImage(const Flash& flash) {
    const auto image = dedarida::EmbeddedFirmware();
    return std::equal(image.begin(), image.end(), flash.begin());
}

int Expected(Mode mode, int unitStatus) {
    return mode == Mode::Station ? (unitStatus == 0 ? 0 : 1) : unitStatus;
}

std::size_t Count(const std::vector<std::string>& names, const std::string& start) {
    return static_cast<std::size_t>(std::count_if(
        names.begin(), names.end(), [&](const std::string& n) { return n.starts_with(start); }));
}

const Row Rows[] = {
    {"RecordTraceFirmwareAndRetries",
     {"--log", "{dir}/log", "--station-name", "line-9", "--trace", "{dir}/trace", "--firmware",
      "{dir}/fw.bin", "--firmware-version", "v9.9", "--retries", "1"},
     [](sim::SimConfig& c) {
         c.faults.hangUpAtBlock = 40;
         c.faults.comebackDelay = 500ms;
         c.faults.comebackInBootloader = true;
     },
     [](const Outcome& o) {
         EXPECT_EQ(o.status, 0) << o.err;
         EXPECT_EQ(o.flash, Firmware());
         EXPECT_EQ(o.record["result"], "programmed") << o.record;
         EXPECT_EQ(o.record["attempts"], 2);
         EXPECT_EQ(o.record["station"], "line-9");
         EXPECT_EQ(o.record["firmware"]["version"], "v9.9");
         EXPECT_EQ(Count(o.files, "trace"), o.mode == Mode::SeveralPorts ? 2u : 1u);
     }},
    {"Timeout",
     {"--timeout", "2", "--log", "{dir}/log"},
     [](sim::SimConfig& c) {
         c.faults.dropReply = {{sim::RequestKind::StartUpgrade, 1}};
     },
     [](const Outcome& o) {
         EXPECT_EQ(o.status, Expected(o.mode, 3)) << o.err;
         EXPECT_EQ(o.record["result"], "timeout") << o.record;
         EXPECT_LT(o.record["seconds"].get<double>(), 15.0);
     }},
    {"FromBootloader",
     {"--from-bootloader", "--log", "{dir}/log"},
     [](sim::SimConfig& c) { c.startMode = sim::DeviceMode::Bootloader; },
     [](const Outcome& o) {
         EXPECT_EQ(o.status, 0) << o.err;
         EXPECT_TRUE(IsImage(o.flash));
         EXPECT_EQ(o.record["result"], "programmed") << o.record;
     }},
    {"Quiet",
     {"--quiet"},
     [](sim::SimConfig&) {},
     [](const Outcome& o) {
         EXPECT_EQ(o.status, 0) << o.err;
         EXPECT_TRUE(IsImage(o.flash));
         const std::string said = o.out + o.err;
         EXPECT_NE(said.find("programmed (exit 0)"), std::string::npos) << said;
         EXPECT_EQ(said.find("status:"), std::string::npos) << said;
     }},
    {"JsonAndQuiet",
     {"--json", "--quiet"},
     [](sim::SimConfig&) {},
     [](const Outcome& o) {
         EXPECT_EQ(o.status, 0) << o.err;
         EXPECT_TRUE(IsImage(o.flash));
         if (o.mode == Mode::Station) {
             // Quiet, a station still gives its verdict on each unit.
             EXPECT_NE(o.out.find(": PASS  FW ID  v4.1  programmed (exit 0)"), std::string::npos)
                 << o.out;
             EXPECT_EQ(o.out.find("status:"), std::string::npos) << o.out;
             return;
         }
         const auto json = nlohmann::json::parse(o.out);
         const auto& record = o.mode == Mode::SeveralPorts ? json.at(0) : json;
         EXPECT_EQ(record["result"], "programmed") << o.out;
         EXPECT_EQ(o.err.find("status:"), std::string::npos) << o.err;
     }},
};

TEST_P(UnitOptions, ReachTheUnit) {
    const auto& [mode, row] = GetParam();
    std::vector<std::string> options = row.options;
    if (mode == Mode::Station) {
        // The station finds a device's bootloader itself and writes no --json.
        std::erase(options, "--from-bootloader");
        std::erase(options, "--json");
    }
    const Flash firmware = Firmware();
    std::ofstream(dir_ + "/fw.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(firmware.data()), firmware.size());
    row.check(RunRow(mode, {row.name, options, row.device, row.check}));
}

std::string RowName(const ::testing::TestParamInfo<std::tuple<Mode, Row>>& row) {
    const char* modes[] = {"OnePort", "SeveralPorts", "Station"};
    return std::string(modes[static_cast<int>(std::get<0>(row.param))]) + "_" +
           std::get<1>(row.param).name;
}

INSTANTIATE_TEST_SUITE_P(EveryMode, UnitOptions,
                         ::testing::Combine(::testing::Values(Mode::OnePort, Mode::SeveralPorts,
                                                              Mode::Station),
                                            ::testing::ValuesIn(Rows)),
                         RowName);

} // namespace
