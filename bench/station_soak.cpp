// A station's shift: 200 unpaced simulated units through eight fixtures,
// some pulled mid-flash and plugged back in their bootloader, some pulled for
// good at a random moment. Checks one whole record per unit, each verdict
// equal to what the simulator's flash holds, and no growth of the station's
// descriptors or memory and no zombie among its processes; prints the figures.
#include "bench/paced_upgrade.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace dedarida::bench;
namespace sim = dedarida::sim;
using namespace std::chrono_literals;

namespace {

constexpr int Units = 200;
constexpr int Fixtures = 8;

sim::SimConfig QuickUnit(const std::string& link) {
    sim::SimConfig config = PacedDevice(link);
    config.paced = false;
    config.rebootDelay = 50ms;
    config.eraseTime = 10ms;
    return config;
}

// The log's records by the serial number of the unit.
std::map<std::string, std::vector<nlohmann::json>> Records(const std::string& log) {
    std::map<std::string, std::vector<nlohmann::json>> records;
    std::ifstream file(log);
    for (std::string line; std::getline(file, line);) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        records[record.is_object() ? record.value("usbSerial", "?") : "torn"].push_back(record);
    }
    return records;
}

std::size_t Descriptors(pid_t pid) {
    std::size_t count = 0;
    std::error_code error;
    for (auto it =
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         it != std::filesystem::directory_iterator(); ++it)
        ++count;
    return count;
}

long RssKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::atol(line.c_str() + 6);
    return -1;
}

// The station's children that have ended but were not reaped.
int Zombies(pid_t parent) {
    int zombies = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const std::size_t end = text.rfind(')');
        char state = 0;
        int ppid = 0;
        if (end != std::string::npos &&
            std::sscanf(text.c_str() + end + 1, " %c %d", &state, &ppid) == 2 && ppid == parent &&
            state == 'Z')
            ++zombies;
    }
    return zombies;
}

struct Tally {
    std::mutex mutex;
    int pulledBack = 0;
    int pulledForGood = 0;
    int wrongVerdicts = 0;
    int missing = 0;
};

} // namespace

int main() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-soak-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    const std::string ports = dir + "/ports";
    const std::string log = dir + "/units.jsonl";
    std::filesystem::create_directory(ports);
    setenv("DEDARIDA_PORTS_FOLDER", ports.c_str(), 1);

    std::atomic<int> next{0};
    Tally tally;
    std::size_t fdsEarly = 0, fdsLate = 0;
    long rssEarly = 0, rssLate = 0;
    int zombies = 0;
    const ToolRun run = RunTool(
        {"--station", "--quiet", "--log", log, "--retries", "1", "--timeout", "5"},
        [&](pid_t station) {
            std::this_thread::sleep_for(500ms);
            std::vector<std::thread> fixtures;
            for (int f = 0; f < Fixtures; ++f)
                fixtures.emplace_back([&, f] {
                    std::mt19937 random(static_cast<unsigned>(f + 1));
                    for (int n; (n = next++) < Units;) {
                        char serial[16];
                        std::snprintf(serial, sizeof serial, "S%03d", n);
                        sim::SimConfig config = QuickUnit(ports + "/0403_6001_" + serial + "@1-" +
                                                          std::to_string(f + 1));
                        const int fate = static_cast<int>(random() % 10);
                        if (fate < 2) {
                            config.faults.hangUpAtBlock = 1 + random() % 86;
                            config.faults.comebackDelay = 300ms;
                            config.faults.comebackInBootloader = true;
                        }
                        sim::SimDevice unit(config);
                        unit.Start();
                        if (fate == 2) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 1500));
                            unit.Stop();
                        }
                        const auto deadline = std::chrono::steady_clock::now() + 90s;
                        std::vector<nlohmann::json> mine;
                        while ((mine = Records(log)[serial]).empty() &&
                               std::chrono::steady_clock::now() < deadline)
                            std::this_thread::sleep_for(100ms);
                        const auto flash = unit.Flash();
                        const auto image = dedarida::EmbeddedFirmware();
                        const bool flashed =
                            std::equal(image.begin(), image.end(), flash.begin()) &&
                            unit.Status().checkPassed == true;
                        unit.Stop();
                        std::lock_guard lock(tally.mutex);
                        tally.pulledBack += fate < 2;
                        tally.pulledForGood += fate == 2;
                        if (mine.empty()) {
                            ++tally.missing;
                            std::fprintf(stderr, "%s: no record\n", serial);
                        } else if ((mine.front()["result"] == "programmed") != flashed) {
                            ++tally.wrongVerdicts;
                            std::fprintf(stderr, "%s: record says %s, the flash %s\n", serial,
                                         mine.front()["result"].dump().c_str(),
                                         flashed ? "holds the image" : "does not");
                        }
                        if (n == 2 * Fixtures) {
                            fdsEarly = Descriptors(station);
                            rssEarly = RssKiB(station);
                        }
                    }
                });
            for (auto& fixture : fixtures)
                fixture.join();
            std::this_thread::sleep_for(1s);
            fdsLate = Descriptors(station);
            rssLate = RssKiB(station);
            zombies = Zombies(station);
            kill(station, SIGINT);
        });

    const auto records = Records(log);
    std::size_t lines = 0;
    int duplicated = 0;
    for (const auto& [serial, list] : records) {
        lines += list.size();
        duplicated += list.size() > 1;
    }
    std::filesystem::remove_all(dir);
    std::printf("%d units through %d fixtures in %.1f s: %d pulled and plugged back, %d pulled "
                "for good\n",
                Units, Fixtures, run.wallSeconds, tally.pulledBack, tally.pulledForGood);
    std::printf("records %zu (units with more than one: %d, torn: %zu), missing %d, verdicts "
                "unlike the flash %d\n",
                lines, duplicated, records.count("torn"), tally.missing, tally.wrongVerdicts);
    std::printf("station descriptors %zu after %d units, %zu at the end; RSS %ld KiB, then %ld "
                "KiB; zombies %d; tool CPU %.2f s\n",
                fdsEarly, 2 * Fixtures, fdsLate, rssEarly, rssLate, zombies, CpuSeconds(run.usage));
    const bool sound = lines == Units && duplicated == 0 && tally.missing == 0 &&
                       tally.wrongVerdicts == 0 && fdsLate <= fdsEarly && zombies == 0 &&
                       rssLate <= rssEarly + 1024;
    std::printf("%s\n", sound ? "sound" : "NOT SOUND");
    return sound ? 0 : 1;
}
