#include "process/windows_command_line.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace dedarida {
namespace {

TEST(WindowsCommandLine, QuotesOnlyWhatTheRuntimeWouldSplitOrDrop) {
    EXPECT_EQ(WindowsCommandLine({"dedarida", "--port", "COM5"}), "dedarida --port COM5");
    EXPECT_EQ(WindowsCommandLine({"a", ""}), "a \"\"");
    EXPECT_EQ(WindowsCommandLine({"C:\\fw\\image.s19"}), "C:\\fw\\image.s19");
    EXPECT_EQ(WindowsCommandLine({"two words"}), "\"two words\"");
}

TEST(WindowsCommandLine, EscapesBackslashesOnlyBeforeAQuote) {
    EXPECT_EQ(WindowsCommandLine({"say \"hi\""}), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(WindowsCommandLine({"a\\\"b"}), "\"a\\\\\\\"b\"");
    EXPECT_EQ(WindowsCommandLine({"C:\\My Files\\"}), "\"C:\\My Files\\\\\"");
    EXPECT_EQ(WindowsCommandLine({"C:\\My Files\\x"}), "\"C:\\My Files\\x\"");
}

#ifdef _WIN32
const std::vector<std::string> kHardArguments = {"plain",
                                                 "",
                                                 "two words",
                                                 "say \"hi\"",
                                                 "C:\\My Files\\",
                                                 "a\\\\b",
                                                 "a\\\"b",
                                                 "trailing\\\\",
                                                 "\\\\server\\share\\x",
                                                 "tab\there",
                                                 "\"",
                                                 "\\",
                                                 "--firmware=C:\\fw dir\\image.s19"};

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text != 0; ++text)
        out += static_cast<char>(*text);
    return out;
}

TEST(WindowsCommandLine, TheSystemSplitsItBackIntoTheSameArguments) {
    std::vector<std::string> arguments = {"dedarida"};
    arguments.insert(arguments.end(), kHardArguments.begin(), kHardArguments.end());
    const std::string line = WindowsCommandLine(arguments);
    const std::wstring wide(line.begin(), line.end());
    int count = 0;
    wchar_t** split = CommandLineToArgvW(wide.c_str(), &count);
    ASSERT_NE(split, nullptr);
    std::vector<std::string> back;
    for (int i = 0; i < count; ++i)
        back.push_back(Narrow(split[i]));
    LocalFree(split);
    EXPECT_EQ(back, arguments);
}
#endif

} // namespace
} // namespace dedarida
