#include "unit/record_log_posix.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class RecordLog : public ::testing::Test {
protected:
    RecordLog() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-log-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        path_ = dir_ + "/units.jsonl";
    }
    ~RecordLog() override { std::filesystem::remove_all(dir_); }

    std::string Contents() const {
        std::ifstream file(path_, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    void Put(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
    // Every line, parsed; a line that is no JSON object fails the test.
    std::vector<nlohmann::json> Records() const {
        std::vector<nlohmann::json> records;
        const std::string text = Contents();
        EXPECT_TRUE(text.empty() || text.ends_with('\n')) << text.substr(0, 80);
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            records.push_back(nlohmann::json::parse(line, nullptr, false));
            EXPECT_TRUE(records.back().is_object())
                << "line " << records.size() << ": " << line.substr(0, 80);
        }
        return records;
    }

    std::string dir_;
    std::string path_;
};

// Writers share one log and are killed (-9) at random moments, some in the
// middle of an append: every line left is a whole record of one writer.
TEST_F(RecordLog, WritersKilledAtAnyMomentLeaveOnlyWholeRecords) {
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        std::vector<pid_t> writers;
        for (int w = 0; w < 4; ++w) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                // A record as large as a real one, with the writer in it.
                const std::string padding(700, 'x');
                for (int n = 0;; ++n)
                    dedarida::AppendRecord(path_, "{\"writer\":" + std::to_string(w) +
                                                      ",\"n\":" + std::to_string(n) +
                                                      ",\"padding\":\"" + padding + "\"}");
            }
            writers.push_back(pid);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 100));
        for (const pid_t pid : writers) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    const auto records = Records();
    for (const auto& record : records)
        EXPECT_EQ(record.value("padding", "").size(), 700u);
    EXPECT_GT(records.size(), 16u);
}

// A disk that takes `room` bytes of a write and then is full.
class FullDisk : public dedarida::LogFileCalls {
public:
    explicit FullDisk(std::size_t room) : room_(room) {}
    ssize_t Write(int fd, const void* data, std::size_t size) override {
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        return write(fd, data, std::min(size, room_));
    }

private:
    std::size_t room_;
};

TEST_F(RecordLog, ARecordTheDiskTookOnlyPartOfIsCutOffAgain) {
    const std::string before = "{\"unit\":1}\n{\"unit\":2}\n";
    const std::string record = "{\"unit\":3,\"result\":\"programmed\"}";
    for (const std::size_t room :
         {std::size_t{0}, std::size_t{1}, record.size() / 2, record.size()}) {
        Put(before);
        FullDisk disk(room);
        EXPECT_NE(dedarida::AppendRecord(path_, record, {}, disk), "") << room;
        EXPECT_EQ(Contents(), before) << room;
        EXPECT_EQ(dedarida::AppendRecord(path_, "{\"unit\":4}"), "");
        EXPECT_EQ(Records().size(), 3u) << room;
    }
}

// A writer that died in the middle of its line left a tail without a line
// end; a file that ends in more than any record without one is no log.
TEST_F(RecordLog, ATailWithoutItsLineEndIsCutOffUnlessItIsLongerThanARecord) {
    Put("{\"unit\":1}\n{\"unit\":2,\"res");
    EXPECT_EQ(dedarida::AppendRecord(path_, "{\"unit\":3}"), "");
    EXPECT_EQ(Contents(), "{\"unit\":1}\n{\"unit\":3}\n");

    // A record is at most 64 KiB: a longer tail is no record cut short.
    for (const std::size_t tail : {70 * 1024, 64 * 1024 + 1}) {
        const std::string notALog = "{\"unit\":1}\n" + std::string(tail, 'x');
        Put(notALog);
        EXPECT_NE(dedarida::AppendRecord(path_, "{\"unit\":2}").find("without a line end"),
                  std::string::npos)
            << tail;
        EXPECT_EQ(Contents(), notALog);
        Put(std::string(tail, 'x'));
        EXPECT_NE(dedarida::AppendRecord(path_, "{\"unit\":2}"), "") << tail;
    }
    Put(std::string(64 * 1024, 'x'));
    EXPECT_EQ(dedarida::AppendRecord(path_, "{\"unit\":2}"), "");
    EXPECT_EQ(Contents(), "{\"unit\":2}\n");
}

// Another program holds the lock: the append gives up after its limit and
// says why; an interrupt shortens the wait to a second, which is still enough
// for a holder that only adds its own record.
TEST_F(RecordLog, ALockHeldByAnotherProgramIsWaitedForBoundedAndSaid) {
    Put("");
    const int holder = open(path_.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    const auto append = [&](const dedarida::LogWait& wait) {
        auto result = std::async(std::launch::async,
                                 [&, wait] { return dedarida::AppendRecord(path_, "{}", wait); });
        if (result.wait_for(5s) == std::future_status::timeout) {
            flock(holder, LOCK_UN);
            ADD_FAILURE() << "the append still waits";
        }
        return result.get();
    };
    EXPECT_EQ(append({.limit = 300ms, .interrupted = {}}),
              "another program holds the lock of " + path_);
    EXPECT_EQ(append({.limit = 60s, .interrupted = [] { return true; }}),
              "interrupted while another program holds the lock of " + path_);
    EXPECT_EQ(Contents(), "");

    std::thread release([&] {
        std::this_thread::sleep_for(200ms);
        flock(holder, LOCK_UN);
    });
    EXPECT_EQ(append({.limit = 60s, .interrupted = [] { return true; }}), "");
    release.join();
    close(holder);
    EXPECT_EQ(Contents(), "{}\n");
}

} // namespace
