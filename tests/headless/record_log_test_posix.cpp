#include "app/headless/record_log.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Writers share one log and are killed (-9) at random moments, some in the
// middle of an append: every line left is a whole record of one writer.
TEST(RecordLog, WritersKilledAtAnyMomentLeaveOnlyWholeRecords) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("dedarida-log-" + std::to_string(getpid())))
            .string();
    std::filesystem::remove(path);
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
                    dedarida::AppendRecord(path, "{\"writer\":" + std::to_string(w) +
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
    std::ifstream log(path);
    std::size_t records = 0;
    for (std::string line; std::getline(log, line); ++records) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_TRUE(record.is_object()) << "line " << records + 1 << ": " << line.substr(0, 80);
        EXPECT_EQ(record["padding"].get<std::string>().size(), 700u);
    }
    EXPECT_GT(records, 16u);
    std::filesystem::remove(path);
}

TEST(RecordLog, AFailureIsSaidNotSwallowed) {
    EXPECT_NE(dedarida::AppendRecord("/dev/full", "{}"), "");
    EXPECT_NE(dedarida::AppendRecord("/nonexistent-folder/log", "{}"), "");
}

} // namespace
