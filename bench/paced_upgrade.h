#pragma once

// What the benchmarks measure on a whole upgrade at the real line speeds: the
// paced simulated device with no processing time of its own, and its
// transcript turned into the bootloader phase against the wire time of its
// bytes and the tool's turnaround from a reply's last byte to the next
// request's first.
#include "image/embedded_firmware.h"
#include "process/spawn_argv.h"
#include "sim/sim_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace dedarida::bench {

inline sim::SimConfig PacedDevice(const std::string& linkPath) {
    using namespace std::chrono_literals;
    sim::SimConfig config;
    config.paced = true;
    config.linkPath = linkPath;
    config.rebootDelay = 0ms;
    config.eraseTime = 0ms;
    config.programTime = 0ms;
    config.checkTime = 0ms;
    const auto firmware = EmbeddedFirmware();
    config.reference.assign(firmware.begin(), firmware.end());
    return config;
}

struct BootloaderPhase {
    double seconds = 0;     // from Erase Flash's first byte to the last reply's last
    double wireSeconds = 0; // the bytes of its frames at their line speed
    std::vector<double> turnaroundMs;
    double Ratio() const { return seconds / wireSeconds; }
};

// Nothing when the transcript holds no whole bootloader phase.
inline std::optional<BootloaderPhase> PhaseOf(const std::vector<sim::TranscriptEntry>& transcript) {
    struct Frame {
        double start; // first byte on the wire, seconds
        double end;   // last byte on the wire
        bool in;      // tool to device
        std::string meaning;
    };
    std::vector<Frame> frames;
    for (const auto& e : transcript) {
        if (e.direction == sim::Direction::Event || e.baud == 0)
            continue;
        const double end = std::chrono::duration<double>(e.time).count();
        const double length = static_cast<double>(e.bytes.size() / 2) * 10.0 / e.baud;
        frames.push_back({end - length, end, e.direction == sim::Direction::ToDevice, e.meaning});
    }
    const auto erase = std::find_if(frames.begin(), frames.end(), [](const Frame& f) {
        return f.in && f.meaning.starts_with("Erase");
    });
    if (erase == frames.end() || frames.back().in)
        return std::nullopt;
    BootloaderPhase phase;
    for (auto f = erase; f != frames.end(); ++f) {
        phase.wireSeconds += f->end - f->start;
        if (!f->in && f + 1 != frames.end() && (f + 1)->in)
            phase.turnaroundMs.push_back(((f + 1)->start - f->end) * 1000.0);
    }
    phase.seconds = frames.back().end - erase->start;
    return phase;
}

inline double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

// The tool run to its end, its standard error thrown away; `whileRunning`
// (if any) is called with its process once it has started.
struct ToolRun {
    bool started = false;
    int status = 0;
    rusage usage{}; // the tool and the processes it waited for
    double wallSeconds = 0;
    bool Succeeded() const { return started && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// `command` (a program found on PATH or by its path, and its arguments) run
// as RunTool runs the tool.
inline ToolRun RunCommand(std::vector<std::string> command,
                          const std::function<void(pid_t)>& whileRunning = {}) {
    std::vector<char*> argv = SpawnArgv(command);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ToolRun run;
    const auto began = std::chrono::steady_clock::now();
    pid_t pid = 0;
    run.started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (run.started && whileRunning)
        whileRunning(pid);
    if (run.started)
        wait4(pid, &run.status, 0, &run.usage);
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return run;
}

inline ToolRun RunTool(std::vector<std::string> arguments,
                       const std::function<void(pid_t)>& whileRunning = {}) {
    arguments.insert(arguments.begin(), DEDARIDA_EXECUTABLE);
    return RunCommand(arguments, whileRunning);
}

inline double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Prints each device's bootloader phase against the wire time of its bytes,
// named "`what` N"; returns the worst ratio, or nothing (said) when a
// transcript holds no phase.
inline std::optional<double>
WorstPhaseRatio(const std::vector<std::unique_ptr<sim::SimDevice>>& devices, const char* what) {
    double worst = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const auto phase = PhaseOf(devices[i]->Transcript());
        if (!phase) {
            std::fprintf(stderr, "%s %zu: no bootloader phase in the transcript\n", what, i + 1);
            return std::nullopt;
        }
        worst = std::max(worst, phase->Ratio());
        std::printf("%s %2zu  bootloader phase %7.3f s, wire time %7.3f s, ratio %.4f, "
                    "turnaround median %.3f ms, p99 %.3f ms\n",
                    what, i + 1, phase->seconds, phase->wireSeconds, phase->Ratio(),
                    Percentile(phase->turnaroundMs, 0.5), Percentile(phase->turnaroundMs, 0.99));
    }
    return worst;
}

// The lines of a file: the records a --log holds.
inline std::size_t LinesOf(const std::string& path) {
    std::ifstream file(path);
    std::size_t lines = 0;
    for (std::string line; std::getline(file, line);)
        ++lines;
    return lines;
}

} // namespace dedarida::bench
