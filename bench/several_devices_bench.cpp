// Four devices at once at the real line speeds: the tool, headless with four
// ports (a process for each), against four paced simulated devices. Reports
// each device's bootloader phase against the wire time of its bytes and the
// tool's CPU time, all its processes together, per device.
#include "bench/paced_upgrade.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace dedarida::bench;
namespace sim = dedarida::sim;

int main() {
    constexpr int Devices = 4;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-bench-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    std::vector<std::unique_ptr<sim::SimDevice>> devices;
    std::vector<std::string> arguments = {"--upgrade", "--quiet"};
    for (int i = 0; i < Devices; ++i) {
        const std::string line = dir + "/line" + std::to_string(i + 1);
        devices.push_back(std::make_unique<sim::SimDevice>(PacedDevice(line)));
        devices.back()->Start();
        arguments.insert(arguments.end(), {"--port", line});
    }
    const ToolRun run = RunTool(arguments);
    for (auto& device : devices)
        device->Stop();
    std::filesystem::remove_all(dir);
    if (!run.Succeeded()) {
        std::fprintf(stderr, "an upgrade failed (status %d)\n", run.status);
        return 1;
    }

    std::printf("%d devices at once on %ld cores, whole run %.3f s wall\n", Devices,
                sysconf(_SC_NPROCESSORS_ONLN), run.wallSeconds);
    const auto ratio = WorstPhaseRatio(devices, "device");
    if (!ratio)
        return 1;
    const double worst = *ratio;
    const double cpu = CpuSeconds(run.usage);
    const double perDevice = 100.0 * cpu / run.wallSeconds / Devices;
    std::printf("worst ratio %.4f (target <= 1.02)\n", worst);
    std::printf("tool CPU time %.3f s for all processes = %.2f%% of one core per device "
                "(target < 2%%)\n",
                cpu, perDevice);
    return worst <= 1.02 && perDevice < 2.0 ? 0 : 1;
}
