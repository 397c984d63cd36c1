#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace dedarida {

// The command line of the headless upgrade.
struct HeadlessOptions {
    std::string port; // a COM name or a device path
    std::chrono::seconds timeout{60};
    bool fromBootloader = false;
    bool json = false;
    std::string tracePath;
    bool help = false;
    bool version = false;
    bool listPorts = false; // with `json` for machines
};

extern const char* const HeadlessUsage;

// Parses argv (argv[0] is the program). On a mistake returns nothing and
// puts the reason in `error`.
std::optional<HeadlessOptions> ParseHeadlessOptions(int argc, const char* const* argv,
                                                    std::string& error);

// Whether argv asks for the command line rather than the window: any
// argument does, so a mistyped one is a usage error, not a window.
bool WantsHeadless(int argc);

} // namespace dedarida
