// A production station with eight units plugged in at once at the real line
// speeds: the tool with --station (a process for each unit) against eight
// paced simulated devices in a folder that stands for the system's ports.
// Reports each unit's bootloader phase against the wire time of its bytes and
// the tool's CPU time, all its processes together, per unit.
#include "bench/paced_upgrade.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace dedarida::bench;
namespace sim = dedarida::sim;

int main() {
    using namespace std::chrono_literals;
    constexpr int Units = 8;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-station-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    const std::string ports = dir + "/ports";
    const std::string log = dir + "/units.jsonl";
    std::filesystem::create_directory(ports);
    setenv("DEDARIDA_PORTS_FOLDER", ports.c_str(), 1);

    std::vector<std::unique_ptr<sim::SimDevice>> devices;
    const ToolRun run = RunTool({"--station", "--quiet", "--log", log}, [&](pid_t station) {
        std::this_thread::sleep_for(500ms);
        for (int i = 0; i < Units; ++i) {
            devices.push_back(std::make_unique<sim::SimDevice>(
                PacedDevice(ports + "/0403_6001_UNIT" + std::to_string(i + 1))));
            devices.back()->Start();
        }
        const auto deadline = std::chrono::steady_clock::now() + 180s;
        while (LinesOf(log) < Units && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(200ms);
        kill(station, SIGINT);
    });
    for (auto& device : devices)
        device->Stop();
    const std::size_t records = LinesOf(log);
    std::filesystem::remove_all(dir);
    if (!run.Succeeded() || records != Units) {
        std::fprintf(stderr, "the station failed (status %d, %zu records)\n", run.status, records);
        return 1;
    }

    std::printf("%d units at once on %ld cores, whole run %.3f s wall\n", Units,
                sysconf(_SC_NPROCESSORS_ONLN), run.wallSeconds);
    const auto ratio = WorstPhaseRatio(devices, "unit");
    if (!ratio)
        return 1;
    const double worst = *ratio;
    const double cpu = CpuSeconds(run.usage);
    const double perUnit = 100.0 * cpu / run.wallSeconds / Units;
    std::printf("worst ratio %.4f (target <= 1.02)\n", worst);
    std::printf("tool CPU time %.3f s for all processes = %.2f%% of one core per unit "
                "(target < 1%%)\n",
                cpu, perUnit);
    return worst <= 1.02 && perUnit < 1.0 ? 0 : 1;
}
