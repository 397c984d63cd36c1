#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// The command line of the headless upgrade.
struct HeadlessOptions {
    std::vector<std::string> ports; // COM names or device paths, each upgraded at once
    std::chrono::seconds timeout{60};
    bool fromBootloader = false;
    bool json = false;
    std::string tracePath;
    std::string firmwarePath; // empty: the built-in image
    std::string firmwareVersion;
    bool quiet = false;
    // One port's upgrade run by the several-port mode (machine-read output).
    bool supervised = false;
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
