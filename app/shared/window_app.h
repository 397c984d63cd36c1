#pragma once

namespace dedarida {

// Runs the tool with its window until the main window closes; returns the
// event loop's exit code, or NoDisplayStatus when there is no display.
int RunWindow(int argc, char** argv);

} // namespace dedarida
