// A job file run against a simulated device: its image pinned by hash, its
// command line locked, its name and hash in the record.
#include "tests/cli/headless_fixture.h"

#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

using dedarida::test::Headless;
using dedarida::test::Sha256Sum;

class JobOption : public Headless {
protected:
    JobOption() {
        for (std::size_t i = 0; i < image_.size(); ++i)
            image_[i] = static_cast<char>(i * 7 + 3);
        std::ofstream(dir_ + "/fw.bin", std::ios::binary) << image_;
        config_.reference.assign(image_.begin(), image_.end());
    }
    // The job file, its firmware given relative to its own folder.
    std::string WriteJob(const std::string& sha256, const std::string& more = "") {
        const std::string path = dir_ + "/job.json";
        std::ofstream(path, std::ios::binary)
            << R"({"name": "line-3 fw 4.5.1", "firmware": {"file": "fw.bin", "sha256": ")" +
                   sha256 + R"(", "version": "v4.5.1"}, "ports": [")" + Line() +
                   R"("], "timeout": 20)" + more + "}\n";
        return path;
    }

    std::string image_ = std::string(88064, '\0');
};

TEST_F(JobOption, AnImageOtherThanTheJobsTouchesNoPortAndBothHashesAreShown) {
    const std::string hash = Sha256Sum(dir_ + "/fw.bin");
    std::string other = hash;
    other[3] = other[3] == 'a' ? 'b' : 'a';
    EXPECT_EQ(Run({"--job", WriteJob(other)}), 64);
    EXPECT_EQ(frames_, 0u);
    EXPECT_NE(Read("err").find(hash), std::string::npos) << Read("err");
    EXPECT_NE(Read("err").find(other), std::string::npos);
}

TEST_F(JobOption, TheJobsImageIsProgrammedAndEveryRecordNamesTheJobAndItsFile) {
    const std::string job = WriteJob(Sha256Sum(dir_ + "/fw.bin"), R"(, "log": "units.jsonl")");
    const std::string jobHash = Sha256Sum(job);
    EXPECT_EQ(Run({"--job", job, "--json"}), 0) << Read("err");
    EXPECT_TRUE(
        std::equal(image_.begin(), image_.end(), flash_.begin(),
                   [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    std::ifstream log(dir_ + "/units.jsonl");
    std::string logged;
    std::getline(log, logged);
    for (const std::string& text : {Read("out"), logged}) {
        const auto record = nlohmann::json::parse(text);
        EXPECT_EQ(record["job"]["name"], "line-3 fw 4.5.1") << text;
        EXPECT_EQ(record["job"]["sha256"], jobHash);
        EXPECT_EQ(record["firmware"]["version"], "v4.5.1");
    }
    EXPECT_NE(Read("err").find("job: line-3 fw 4.5.1, job file sha256 " + jobHash),
              std::string::npos)
        << Read("err");
}

TEST_F(JobOption, AnOptionTheJobLocksAndAFaultyJobAreRefusedBeforeAnyPortIsTouched) {
    const std::string hash = Sha256Sum(dir_ + "/fw.bin");
    const struct {
        std::string more;
        std::vector<std::string> options;
        std::string refusal;
    } rows[] = {
        {"", {"--timeout", "5"}, ": the job sets --timeout itself"},
        {"", {"--retries", "2"}, ": --retries cannot be added"},
        {R"(, "retries": 10)", {}, R"(: "retries" must be a number from 0 to 9)"},
        {R"(, "firmwar": {})", {}, R"(: unknown key "firmwar")"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> arguments = {"--job", WriteJob(hash, row.more)};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        EXPECT_EQ(Run(arguments), 64) << row.refusal;
        EXPECT_EQ(frames_, 0u);
        EXPECT_NE(Read("err").find("refused: --job " + dir_ + "/job.json" + row.refusal),
                  std::string::npos)
            << Read("err");
    }
}

} // namespace
