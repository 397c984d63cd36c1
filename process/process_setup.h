#pragma once

namespace dedarida {

// Run first in main, before anything opens a file or writes. On Linux it gives
// any of the standard descriptors 0-2 that is closed the null device, so that
// a file opened later (a trace) never becomes "standard output"; it ignores
// SIGPIPE, so that a reader that goes away (`| head`) costs the progress
// lines, never the upgrade; it gives SIGCHLD its default action, so that
// children can be waited for; and a child of a supervisor (see
// SupervisorVariable) ends with it, as if interrupted.
void PrepareProcess();

// Run before a headless run. On Windows an interrupt that comes while no
// SignalWatcher exists (at the start, while the firmware loads, between two
// watchers) is kept for the next watcher, instead of ending the process with
// nothing said, and so is one its supervisor passes on; on Linux signals keep
// their usual course.
void HoldInterrupts();

// The environment variable by which a child learns its supervisor: on Linux
// the supervisor's process id, on Windows the name of the event by which the
// supervisor passes an interrupt on.
inline constexpr const char* SupervisorVariable = "DEDARIDA_SUPERVISOR";

} // namespace dedarida
