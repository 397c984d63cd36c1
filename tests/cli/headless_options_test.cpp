#include "app/cli/headless_options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using dedarida::ParseHeadlessOptions;

struct Mistake {
    const char* name;
    std::vector<const char*> arguments;
    const char* error;
};

void PrintTo(const Mistake& mistake, std::ostream* out) {
    *out << mistake.name;
}

class HeadlessOptionMistakes : public ::testing::TestWithParam<Mistake> {};

TEST_P(HeadlessOptionMistakes, AreRefusedWithTheirReason) {
    std::vector<const char*> argv = {"dedarida"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    std::string error;
    EXPECT_FALSE(ParseHeadlessOptions(static_cast<int>(argv.size()), argv.data(), error));
    EXPECT_EQ(error, GetParam().error);
}

// An unset shell variable gives an empty value; taking it as "not given"
// would flash the built-in image instead of the file meant.
INSTANTIATE_TEST_SUITE_P(
    CommandLine, HeadlessOptionMistakes,
    ::testing::Values(
        Mistake{"EmptyFirmware",
                {"--upgrade", "--port", "COM5", "--firmware", ""},
                "--firmware is given an empty value"},
        Mistake{"EmptyPort", {"--upgrade", "--port", ""}, "--port is given an empty value"},
        Mistake{"EmptyTrace",
                {"--upgrade", "--port", "COM5", "--trace", ""},
                "--trace is given an empty value"},
        Mistake{"MissingValue", {"--upgrade", "--port"}, "--port needs a value"},
        Mistake{"ListPortsWithAPort",
                {"--list-ports", "--port", "COM5"},
                "--list-ports goes alone (with --json)"},
        Mistake{"ShortHash",
                {"--upgrade", "--port", "COM5", "--expect-sha256", "ab12"},
                "--expect-sha256 takes the 64 hex digits of a SHA-256"},
        Mistake{"PinnedImageWithoutItsFile",
                {"--upgrade", "--supervised", "--port", "COM5", "--pinned-firmware", "x.bin"},
                "--pinned-firmware is given by a fleet's parent with --firmware"},
        Mistake{"JobNameByHand",
                {"--upgrade", "--port", "COM5", "--job-name", "line-3"},
                "--job-name and --job-sha256 are given together by a fleet's parent"},
        Mistake{"TwoJobs", {"--job", "a.json", "--job", "b.json"}, "one --job at a time"},
        Mistake{"HookTimeoutAlone",
                {"--upgrade", "--port", "COM5", "--on-unit-timeout", "5"},
                "--on-unit-timeout bounds an --on-unit PROGRAM"},
        Mistake{"HookTimeoutZero",
                {"--upgrade", "--port", "COM5", "--on-unit", "h", "--on-unit-timeout", "0"},
                "--on-unit-timeout takes a number of seconds from 1 to 86400"},
        Mistake{"HookInAUnitsProcess",
                {"--upgrade", "--supervised", "--port", "COM5", "--on-unit", "h"},
                "--on-unit runs in a fleet's parent, not in a unit's process"},
        Mistake{"AWindowWithoutTheStation",
                {"--upgrade", "--port", "COM5", "--window"},
                "--window shows the station: it goes with --station"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
