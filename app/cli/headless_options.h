#pragma once

#include "unit/run_options.h"

#include <optional>
#include <string>

namespace dedarida {

// The --help text, the platform's own where it differs.
extern const std::string HeadlessUsage;

// Parses argv (argv[0] is the program). On a mistake returns nothing and
// puts the reason in `error`. With --job the options are checked together
// only once the job is applied (ApplyJob).
std::optional<HeadlessOptions> ParseHeadlessOptions(int argc, const char* const* argv,
                                                    std::string& error);

// Whether `text` is a SHA-256 as the options take it: 64 lower-case hex digits.
bool IsSha256Text(const std::string& text);

// Why the options do not go together, or nothing.
std::optional<std::string> CombinationRefusal(const HeadlessOptions& options);

// Whether argv asks for the command line rather than the window: any
// argument does, so a mistyped one is a usage error, not a window.
bool WantsHeadless(int argc);

} // namespace dedarida
