// A whole upgrade at the real line speeds: the tool, headless, against the
// paced simulated device with no processing time of its own. Reports the
// bootloader phase against the wire time of its bytes, the tool's turnaround
// from a reply's last byte to the next request's first, its CPU time and its
// peak memory.
//
//   upgrade_bench                                 the Linux tool on a pty of its own
//   upgrade_bench LINE PORT COMMAND [ARGS ...]    COMMAND (the Windows tool under
//                                                 wine) on PORT, whose device is
//                                                 the simulator's link LINE
#include "bench/paced_upgrade.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace dedarida::bench;
namespace sim = dedarida::sim;

int main(int argc, char** argv) {
    if (argc == 2 || argc == 3) {
        std::fprintf(stderr, "usage: upgrade_bench [LINE PORT COMMAND [ARGS ...]]\n");
        return 64;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-bench-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    const bool foreign = argc > 3;
    const sim::SimConfig config = PacedDevice(foreign ? argv[1] : dir + "/line");
    sim::SimDevice device(config);
    device.Start();

    const std::vector<std::string> upgrade = {"--upgrade", "--port",
                                              foreign ? argv[2] : config.linkPath, "--json"};
    ToolRun run;
    if (foreign) {
        std::vector<std::string> command(argv + 3, argv + argc);
        command.insert(command.end(), upgrade.begin(), upgrade.end());
        run = RunCommand(command);
    } else {
        run = RunTool(upgrade);
    }
    device.Stop();
    std::filesystem::remove_all(dir);
    if (!run.Succeeded()) {
        std::fprintf(stderr, "the upgrade failed (status %d)\n", run.status);
        return 1;
    }

    const auto phase = PhaseOf(device.Transcript());
    if (!phase) {
        std::fprintf(stderr, "no bootloader phase in the transcript\n");
        return 1;
    }
    const double cpu = CpuSeconds(run.usage);
    const double wall = run.wallSeconds;

    std::printf("whole upgrade           %8.3f s wall\n", wall);
    std::printf("bootloader phase        %8.3f s\n", phase->seconds);
    std::printf("wire time of its bytes  %8.3f s   ratio %.4f (target <= %s)\n", phase->wireSeconds,
                phase->Ratio(), foreign ? "1.03" : "1.01");
    const auto& turnaround = phase->turnaroundMs;
    std::printf("turnaround (%zu)        median %.3f ms, p99 %.3f ms%s, max %.3f ms\n",
                turnaround.size(), Percentile(turnaround, 0.5), Percentile(turnaround, 0.99),
                foreign ? "" : " (target < 2)", Percentile(turnaround, 1.0));
    std::printf("tool CPU time           %8.3f s = %.2f%% of wall (target < 2%%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("tool peak memory        %8ld KiB\n", run.usage.ru_maxrss);
    return 0;
}
