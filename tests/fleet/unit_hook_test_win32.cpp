// The program run for a unit, on Windows. This test's own executable stands
// for it: started with DEDARIDA_TEST_HOOK naming a file, it keeps its input
// and the unit's variables there before any test runs, then ends with
// DEDARIDA_TEST_HOOK_STATUS, or hangs when that is "hang".
#include "fleet/unit_hook.h"
#include "process/child_processes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <windows.h>

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "(unset)" : value;
}

[[maybe_unused]] const bool actsAsTheProgram = [] {
    const char* keep = std::getenv("DEDARIDA_TEST_HOOK");
    if (keep == nullptr)
        return false;
    std::string input;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
           got > 0)
        input.append(buffer, got);
    std::ofstream(keep, std::ios::binary) << input << Variable("PORT") << "\n"
                                          << Variable("RESULT") << "\n"
                                          << Variable("EXIT_STATUS") << "\n"
                                          << Variable("USB_SERIAL") << "\n";
    if (Variable("DEDARIDA_TEST_HOOK_STATUS") == "hang")
        Sleep(INFINITE);
    ExitProcess(static_cast<UINT>(std::atoi(Variable("DEDARIDA_TEST_HOOK_STATUS").c_str())));
}();

class UnitHookWin32 : public ::testing::Test {
protected:
    UnitHookWin32() {
        kept_ = (std::filesystem::temp_directory_path() /
                 ("dedarida-hook-" + std::to_string(GetCurrentProcessId())))
                    .string();
        SetEnvironmentVariableA("DEDARIDA_TEST_HOOK", kept_.c_str());
    }
    ~UnitHookWin32() override {
        SetEnvironmentVariableA("DEDARIDA_TEST_HOOK", nullptr);
        SetEnvironmentVariableA("DEDARIDA_TEST_HOOK_STATUS", nullptr);
        std::filesystem::remove(kept_);
    }
    std::string Kept() const {
        std::ifstream file(kept_, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string kept_;
};

// A serial number in cmd.exe's syntax stays a text.
constexpr const char* Record = R"({"port":"COM5","result":"programmed","exitStatus":0,)"
                               R"("usbSerial":"A1 & echo x > pwned"})";

TEST_F(UnitHookWin32, TheProgramGetsTheRecordAndTheUnitsVariablesAndItsStatusShows) {
    SetEnvironmentVariableA("DEDARIDA_TEST_HOOK_STATUS", "3");
    const dedarida::HookEnd hook =
        dedarida::RunHook(dedarida::ThisProgram(), Record, std::chrono::seconds(30));
    EXPECT_EQ(hook.exitStatus, 3);
    EXPECT_TRUE(hook.Failed());
    EXPECT_EQ(Kept(), std::string(Record) + "\nCOM5\nprogrammed\n0\nA1 & echo x > pwned\n");
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(UnitHookWin32, AProgramThatHangsIsKilledAtItsTime) {
    SetEnvironmentVariableA("DEDARIDA_TEST_HOOK_STATUS", "hang");
    const dedarida::HookEnd hook =
        dedarida::RunHook(dedarida::ThisProgram(), Record, std::chrono::seconds(1));
    EXPECT_EQ(hook.exitStatus, std::nullopt);
    EXPECT_EQ(dedarida::HookOutcome(hook), "killed after 1 s");
}

} // namespace
