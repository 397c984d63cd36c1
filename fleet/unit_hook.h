#pragma once

#include "process/child_processes.h"

#include <chrono>
#include <optional>
#include <string>

namespace dedarida {

// The program --on-unit names, run for each unit once its record is written
// (for the line's database, a label printer): the record on its standard
// input, the unit's PORT, RESULT, EXIT_STATUS and USB_SERIAL in its
// environment. It is started directly, never through a shell, so no text of
// a device can become a command, and it is killed past its time. How it
// ends never changes the unit's verdict.
struct HookEnd {
    std::string port;    // the unit's, as its rows show it; empty for a single upgrade
    unsigned number = 0; // the station's unit number; 0 elsewhere
    std::optional<int> exitStatus;
    std::string otherwise; // else how it ended ("killed after 30 s")
    bool Failed() const { return exitStatus != 0; }
};

// What runs `path` for the unit whose record is `record` (one line of JSON),
// killed `timeout` from now. The variables hold the record's texts with
// control bytes escaped, so that each is one line.
ChildProcesses::Program HookProgram(const std::string& path, const std::string& record,
                                    std::chrono::seconds timeout);

// How a program that ran ended, one killed at its time said so; the port
// and number are the caller's to fill in.
HookEnd HookEndOf(const ChildProcesses::End& end, std::chrono::seconds timeout);
HookEnd HookNotStarted(const std::string& reason);

// "exit 0", "killed after 30 s": the outcome alone.
std::string HookOutcome(const HookEnd& hook);
// "PORT: hook of unit 3: exit 0", "hook failed (exit 2)".
std::string HookLine(const HookEnd& hook);

// Runs the hook of a single upgrade and waits for its end (at most `timeout`).
HookEnd RunHook(const std::string& path, const std::string& record, std::chrono::seconds timeout);

} // namespace dedarida
