// The headless upgrade where its surroundings fail it: a full disk, a reader
// that goes away, a closed terminal, stray signals, no standard output.
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using dedarida::test::Headless;
using dedarida::test::StartTool;

class Surroundings : public Headless {
protected:
    std::vector<std::string> Upgrade(std::vector<std::string> more = {}) const {
        std::vector<std::string> arguments = {"--upgrade", "--port", Line()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
    bool Programmed() const {
        const auto firmware = dedarida::EmbeddedFirmware();
        return std::equal(firmware.begin(), firmware.end(), flash_.begin());
    }
};

TEST_F(Surroundings, AJsonRecordOrTraceLostToAFullDiskIsAnErrorNotSuccess) {
    EXPECT_EQ(
        RunStarted([&] { return StartTool(Upgrade({"--json"}), "/dev/full", dir_ + "/err"); }, {}),
        74);
    EXPECT_TRUE(Programmed());
    EXPECT_NE(Read("err").find("dedarida: the JSON record could not be written (No space left on "
                               "device); the upgrade itself ended: result: programmed (exit 0)"),
              std::string::npos)
        << Read("err");

    // The record that comes out says the status the process ends with.
    EXPECT_EQ(Run(Upgrade({"--trace", "/dev/full", "--json"})), 74);
    EXPECT_NE(Read("err").find("the trace /dev/full could not be written"), std::string::npos);
    const auto record = nlohmann::json::parse(Read("out"));
    EXPECT_EQ(record["result"], "programmed");
    EXPECT_EQ(record["exitStatus"], 74);
}

TEST_F(Surroundings, WithStandardOutputClosedTheTraceIsNotItsStandIn) {
    EXPECT_EQ(RunStarted(
                  [&] {
                      return StartTool(Upgrade({"--trace", dir_ + "/trace"}), "", dir_ + "/err");
                  },
                  {}),
              0);
    const std::string trace = Read("trace");
    EXPECT_TRUE(trace.starts_with("# dedarida 4.5, port " + Line())) << trace;
    EXPECT_EQ(trace.find("status:"), std::string::npos) << trace;
    EXPECT_NE(trace.find("# result: programmed (exit 0)"), std::string::npos) << trace;
}

// `dedarida ... | head -1`: once the reader has gone, progress lines fail to
// be written; the flash goes on.
TEST_F(Surroundings, AReaderThatGoesAwayCostsTheProgressNotTheUpgrade) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    close(pipeFds[0]);
    const int status = RunStarted([&] { return StartTool(Upgrade(), "", "", pipeFds[1]); }, {});
    close(pipeFds[1]);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(Programmed());
}

TEST_F(Surroundings, AClosedTerminalEndsTheUpgradeAsCtrlCDoes) {
    EXPECT_EQ(RunStarted([&] { return StartTool(Upgrade(), dir_ + "/out", dir_ + "/err"); },
                         {{400ms, SIGHUP}}),
              130);
    EXPECT_NE(Read("out").find("interrupted; the port is closed"), std::string::npos);
}

TEST_F(Surroundings, AStraySignalNeitherEndsTheUpgradeNorDisablesCtrlC) {
    EXPECT_EQ(RunStarted([&] { return StartTool(Upgrade(), dir_ + "/out", dir_ + "/err"); },
                         {{200ms, SIGUSR1}, {300ms, SIGUSR2}, {500ms, SIGINT}}),
              130);
}

} // namespace
