// A whole upgrade at the real line speeds: the tool, headless, against the
// paced simulated device with no processing time of its own. Reports the
// bootloader phase against the wire time of its bytes, the tool's turnaround
// from a reply's last byte to the next request's first, its CPU time and its
// peak memory.
#include "image/embedded_firmware.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
namespace sim = dedarida::sim;

double ByteSeconds(unsigned baud) {
    return 10.0 / baud;
}

struct Frame {
    double start; // first byte on the wire, seconds
    double end;   // last byte on the wire
    bool in;      // tool to device
    std::string meaning;
};

std::vector<Frame> Frames(const std::vector<sim::TranscriptEntry>& transcript) {
    std::vector<Frame> frames;
    for (const auto& e : transcript) {
        if (e.direction == sim::Direction::Event || e.baud == 0)
            continue;
        const double end = std::chrono::duration<double>(e.time).count();
        const double length = static_cast<double>(e.bytes.size() / 2) * ByteSeconds(e.baud);
        frames.push_back({end - length, end, e.direction == sim::Direction::ToDevice, e.meaning});
    }
    return frames;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

} // namespace

int main() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dedarida-bench-XXXXXX").string();
    const std::string dir = mkdtemp(pattern.data());
    sim::SimConfig config;
    config.paced = true;
    config.linkPath = dir + "/line";
    config.rebootDelay = 0ms;
    config.eraseTime = 0ms;
    config.programTime = 0ms;
    config.checkTime = 0ms;
    const auto firmware = dedarida::EmbeddedFirmware();
    config.reference.assign(firmware.begin(), firmware.end());
    sim::SimDevice device(config);
    device.Start();

    std::string tool = DEDARIDA_EXECUTABLE, upgrade = "--upgrade", portFlag = "--port",
                line = config.linkPath, json = "--json";
    char* argv[] = {tool.data(), upgrade.data(), portFlag.data(),
                    line.data(), json.data(),    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    const auto began = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    device.Stop();
    std::filesystem::remove_all(dir);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the upgrade failed (status %d)\n", status);
        return 1;
    }

    const auto frames = Frames(device.Transcript());
    const auto erase = std::find_if(frames.begin(), frames.end(), [](const Frame& f) {
        return f.in && f.meaning.starts_with("Erase");
    });
    if (erase == frames.end() || frames.back().in) {
        std::fprintf(stderr, "no bootloader phase in the transcript\n");
        return 1;
    }
    double wire = 0;
    std::vector<double> turnaround;
    for (auto f = erase; f != frames.end(); ++f) {
        wire += f->end - f->start;
        if (!f->in && f + 1 != frames.end() && (f + 1)->in)
            turnaround.push_back(((f + 1)->start - f->end) * 1000.0);
    }
    const double phase = frames.back().end - erase->start;
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;

    std::printf("whole upgrade           %8.3f s wall\n", wall);
    std::printf("bootloader phase        %8.3f s\n", phase);
    std::printf("wire time of its bytes  %8.3f s   ratio %.4f (target <= 1.01)\n", wire,
                phase / wire);
    std::printf("turnaround (%zu)        median %.3f ms, p99 %.3f ms (target < 2), max %.3f ms\n",
                turnaround.size(), Percentile(turnaround, 0.5), Percentile(turnaround, 0.99),
                Percentile(turnaround, 1.0));
    std::printf("tool CPU time           %8.3f s = %.2f%% of wall (target < 2%%)\n", cpu,
                100.0 * cpu / wall);
    std::printf("tool peak memory        %8ld KiB\n", usage.ru_maxrss);
    return 0;
}
