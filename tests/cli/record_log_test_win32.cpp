#include "unit/record_log.h"

#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <windows.h>

namespace {

using namespace std::chrono_literals;

class RecordLogWin32 : public ::testing::Test {
protected:
    RecordLogWin32() {
        dir_ = std::filesystem::temp_directory_path() /
               ("dedarida-log-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "units.jsonl").string();
        std::ofstream(path_, std::ios::binary) << "{\"unit\":1}\n";
    }
    ~RecordLogWin32() override {
        CloseOther();
        std::filesystem::remove_all(dir_);
    }

    std::string Contents() const {
        std::ifstream file(path_, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // A second handle on the log, as another program holds it.
    HANDLE OpenOther(DWORD share) {
        other_ = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        return other_;
    }
    void CloseOther() {
        if (other_ != INVALID_HANDLE_VALUE)
            CloseHandle(other_);
        other_ = INVALID_HANDLE_VALUE;
    }
    // The append on a thread of its own: one that never ends fails the test
    // and is let go by closing the other handle.
    std::string Append(const dedarida::LogWait& wait, const std::function<void()>& meanwhile = {}) {
        auto result = std::async(std::launch::async,
                                 [&, wait] { return dedarida::AppendRecord(path_, "{}", wait); });
        if (meanwhile)
            meanwhile();
        if (result.wait_for(5s) == std::future_status::timeout) {
            ADD_FAILURE() << "the append still waits";
            CloseOther();
        }
        return result.get();
    }

    std::filesystem::path dir_;
    std::string path_;
    HANDLE other_ = INVALID_HANDLE_VALUE;
};

// A spreadsheet program opens the file without sharing it for writing: the
// append waits for it to close, or gives up in words.
TEST_F(RecordLogWin32, AReaderThatDoesNotShareTheFileIsWaitedForBoundedAndSaid) {
    ASSERT_NE(OpenOther(FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    const std::string said = path_ + " is open in another program that does not share it";
    EXPECT_EQ(Append({.limit = 300ms, .interrupted = {}}), said);
    EXPECT_EQ(dedarida::CheckLog(path_), said);
    EXPECT_EQ(Append({.limit = 60s, .interrupted = {}},
                     [&] {
                         std::this_thread::sleep_for(300ms);
                         CloseOther();
                     }),
              "");
    EXPECT_EQ(Contents(), "{\"unit\":1}\n{}\n");
}

TEST_F(RecordLogWin32, ALockHeldByAnotherProgramIsWaitedForBoundedAndSaid) {
    HANDLE holder = OpenOther(FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
    EXPECT_EQ(Append({.limit = 300ms, .interrupted = {}}),
              "another program holds the lock of " + path_);
    CloseOther();
    EXPECT_EQ(Contents(), "{\"unit\":1}\n");
}

TEST_F(RecordLogWin32, ATailWithoutItsLineEndIsCutOffAndWhatIsNoLogIsRefused) {
    std::ofstream(path_, std::ios::binary | std::ios::app) << "{\"unit\":2,\"res";
    EXPECT_EQ(dedarida::AppendRecord(path_, "{\"unit\":3}"), "");
    EXPECT_EQ(Contents(), "{\"unit\":1}\n{\"unit\":3}\n");
    EXPECT_EQ(dedarida::CheckLog(dir_.string()), "it is a folder");
    EXPECT_EQ(dedarida::CheckLog((dir_ / "missing" / "units.jsonl").string()),
              "its folder does not exist");
    EXPECT_EQ(dedarida::CheckLog("NUL"), "it is a device, not a regular file");
    std::ofstream(path_, std::ios::binary | std::ios::app) << std::string(70 * 1024, 'x');
    EXPECT_NE(dedarida::CheckLog(path_).find("without a line end"), std::string::npos);
}

} // namespace
