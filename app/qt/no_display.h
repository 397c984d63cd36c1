#pragma once

namespace dedarida {

// The exit status of the window when there is no display to show it on.
inline constexpr int NoDisplayStatus = 69;
extern const char* const NoDisplayText;

// Whether the environment names a display or a Qt platform at all; without
// one Qt cannot start the window.
bool DisplayNamed();

// While it lives, a fatal Qt message (a named display that cannot be reached,
// or no platform plugin that starts) prints NoDisplayText and ends the
// process with NoDisplayStatus instead of aborting with a core dump. Meant to
// cover the construction of the application object only.
class NoDisplayExit {
public:
    NoDisplayExit();
    NoDisplayExit(const NoDisplayExit&) = delete;
    NoDisplayExit& operator=(const NoDisplayExit&) = delete;
    ~NoDisplayExit();
};

} // namespace dedarida
