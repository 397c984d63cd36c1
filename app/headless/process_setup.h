#pragma once

namespace dedarida {

// Run first in main, before anything opens a file or writes. On Linux it gives
// any of the standard descriptors 0-2 that is closed the null device, so that
// a file opened later (a trace) never becomes "standard output"; and it
// ignores SIGPIPE, so that a reader that goes away (`| head`) costs the
// progress lines, never the upgrade.
void PrepareProcess();

} // namespace dedarida
