// --help on Windows speaks of Windows: its port names, its console, no
// Linux variables, devices, signals or displays; and /? asks for it too.
#include "app/cli/headless_options.h"

#include <gtest/gtest.h>
#include <string>

namespace dedarida {
namespace {

TEST(WindowsHelp, NamesWindowsThingsOnly) {
    for (const char* word : {"DEDARIDA_COM", "/dev/", "SIGTERM", "DISPLAY", "by-id"})
        EXPECT_EQ(HeadlessUsage.find(word), std::string::npos) << word;
    for (const char* word : {"\\\\.\\COM5", "Ctrl-Break", "console closed"})
        EXPECT_NE(HeadlessUsage.find(word), std::string::npos) << word;
}

TEST(WindowsHelp, IsAskedForWithASlashQuestionMark) {
    const char* argv[] = {"dedarida", "/?"};
    std::string error;
    const auto options = ParseHeadlessOptions(2, argv, error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->help);
}

} // namespace
} // namespace dedarida
