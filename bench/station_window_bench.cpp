// The station's window drawing sixteen units at once at the real line speeds:
// `--station --window` on Qt's offscreen platform (it draws as on a screen,
// into memory) against sixteen paced simulated devices in a folder that
// stands for the system's ports. Reports each unit's bootloader phase against
// the wire time of its bytes, and the CPU time of the window's process alone
// (its units' processes aside) and of its GUI thread.
#include "bench/paced_upgrade.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace dedarida::bench;
namespace sim = dedarida::sim;

namespace {

// User and system time of a process or thread from its stat file, without
// its children's.
double CpuSecondsOf(const std::string& statPath) {
    std::ifstream file(statPath);
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto afterName = stat.rfind(')');
    if (afterName == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(afterName + 2));
    const std::vector<std::string> values{std::istream_iterator<std::string>(fields), {}};
    // From the state, the third field, on: utime and stime are the 14th and 15th.
    if (values.size() < 13)
        return 0;
    return (std::stod(values[11]) + std::stod(values[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

int main() {
    using namespace std::chrono_literals;
    constexpr int Units = 16;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-station-window-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    const std::string ports = dir + "/ports";
    const std::string log = dir + "/units.jsonl";
    std::filesystem::create_directory(ports);
    setenv("DEDARIDA_PORTS_FOLDER", ports.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::vector<std::unique_ptr<sim::SimDevice>> devices;
    double processCpu = 0, guiCpu = 0, measuredWall = 0;
    const ToolRun run = RunTool({"--station", "--window", "--log", log}, [&](pid_t station) {
        std::this_thread::sleep_for(1s);
        const std::string proc = "/proc/" + std::to_string(station);
        const double processBefore = CpuSecondsOf(proc + "/stat");
        const double guiBefore = CpuSecondsOf(proc + "/task/" + std::to_string(station) + "/stat");
        const auto began = std::chrono::steady_clock::now();
        for (int i = 0; i < Units; ++i) {
            devices.push_back(std::make_unique<sim::SimDevice>(
                PacedDevice(ports + "/0403_6001_UNIT" + std::to_string(i + 1) + "@1-" +
                            std::to_string(i + 1))));
            devices.back()->Start();
        }
        const auto deadline = began + 240s;
        while (LinesOf(log) < Units && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(200ms);
        processCpu = CpuSecondsOf(proc + "/stat") - processBefore;
        guiCpu = CpuSecondsOf(proc + "/task/" + std::to_string(station) + "/stat") - guiBefore;
        measuredWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        kill(station, SIGINT);
    });
    for (auto& device : devices)
        device->Stop();
    const std::size_t records = LinesOf(log);
    std::filesystem::remove_all(dir);
    // All units passed: the station ends 0 on its interrupt.
    if (!run.Succeeded() || records != Units) {
        std::fprintf(stderr, "the station failed (status %d, %zu records)\n", run.status, records);
        return 1;
    }

    std::printf("%d units at once behind the window on %ld cores, %.3f s wall\n", Units,
                sysconf(_SC_NPROCESSORS_ONLN), measuredWall);
    const auto ratio = WorstPhaseRatio(devices, "unit");
    if (!ratio)
        return 1;
    const double worst = *ratio;
    const double processPercent = 100.0 * processCpu / measuredWall;
    std::printf("worst ratio %.4f (target <= 1.02)\n", worst);
    std::printf("the window's process (its units aside): %.3f s CPU = %.2f%% of one core "
                "(target < 5%%); its GUI thread %.3f s = %.2f%%\n",
                processCpu, processPercent, guiCpu, 100.0 * guiCpu / measuredWall);
    return worst <= 1.02 && processPercent < 5.0 ? 0 : 1;
}
