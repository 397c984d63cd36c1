#pragma once

#include "sim/sim_config.h"

#include <span>
#include <string>
#include <string_view>

namespace dedarida::sim {

struct CommandLine {
    SimConfig config;
    std::string flashOut; // empty: the flash is not dumped
    bool help = false;
};

// Parses the arguments after the program name; throws std::invalid_argument naming the
// offending option. Reads the --reference file.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

// The --help text: every option, its argument and its default.
std::string_view HelpText();

} // namespace dedarida::sim
