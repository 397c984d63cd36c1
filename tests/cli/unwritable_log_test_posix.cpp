// A --log that cannot take records is refused before any port is touched, in
// every mode that writes one.
#include "tests/cli/headless_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using dedarida::test::QuickDevice;
namespace sim = dedarida::sim;

class UnwritableLog : public dedarida::test::PluggedPorts {
protected:
    UnwritableLog() {
        config_ = QuickDevice(Unit());
        // Others than root may reach the files, so that a file's mode counts.
        chmod(dir_.c_str(), 0755);
    }
    std::string Unit() const { return Adapter("U1"); }

    // Runs the tool with the device plugged in; a tool that has not ended
    // after 20 s is killed (-1). Keeps what the device heard and saw.
    int RunBounded(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& runner) {
        sim::SimDevice device(config_);
        device.Start();
        const pid_t pid =
            dedarida::test::StartTool(arguments, dir_ + "/out", dir_ + "/err", -1, runner);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
            std::this_thread::sleep_for(20ms);
        }
        frames_ = device.Status().Frames();
        const auto transcript = device.Transcript();
        heard_ = std::count_if(transcript.begin(), transcript.end(), [](const auto& entry) {
            return !entry.meaning.starts_with("line up at ");
        });
        device.Stop();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::ptrdiff_t heard_ = 0;
};

TEST_F(UnwritableLog, IsRefusedWithItsReasonBeforeTheDeviceHearsAByte) {
    mkfifo((dir_ + "/fifo").c_str(), 0644);
    std::ofstream(dir_ + "/real") << "";
    std::filesystem::create_symlink(dir_ + "/real", dir_ + "/link");
    std::ofstream(dir_ + "/read-only") << "";
    chmod((dir_ + "/read-only").c_str(), 0444);
    std::ofstream(dir_ + "/notes.txt") << std::string(70 * 1024, 'x');
    // Root may write any file: the tool then runs as nobody for that one.
    const std::vector<std::string> nobody =
        geteuid() == 0 ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534",
                                                  "--regid=65534", "--clear-groups"}
                       : std::vector<std::string>{};
    const struct {
        std::string path;
        std::string reason;
        std::vector<std::string> runner;
    } logs[] = {
        {"/dev/full", "it is a device, not a regular file", {}},
        {dir_, "it is a folder", {}},
        {dir_ + "/fifo", "it is a FIFO, not a regular file", {}},
        {dir_ + "/missing/units.jsonl", "its folder does not exist", {}},
        {dir_ + "/link", "it is a symbolic link (give the file it points to)", {}},
        {dir_ + "/read-only", "Permission denied", nobody},
        {dir_ + "/notes.txt",
         "it ends in more than 64 KiB without a line end, so it is no log of records",
         {}},
    };
    const std::vector<std::vector<std::string>> modes = {
        {"--upgrade", "--port", Unit()},
        {"--upgrade", "--port", Unit(), "--port", dir_ + "/absent"},
        {"--station"},
    };
    for (const auto& log : logs)
        for (std::vector<std::string> arguments : modes) {
            arguments.insert(arguments.end(), {"--log", log.path});
            const std::string row = arguments.front() + " " + std::to_string(arguments.size()) +
                                    " arguments, --log " + log.path;
            EXPECT_EQ(RunBounded(arguments, log.runner), 64) << row << "\n" << Read("err");
            EXPECT_EQ(frames_, 0u) << row;
            EXPECT_EQ(heard_, 0) << row;
            EXPECT_EQ(Read("err"),
                      "dedarida: refused: --log " + log.path + ": " + log.reason + "\n")
                << row;
        }
    EXPECT_EQ(Read("real"), "");
}

// The upgrade is over and its record waits for a lock another program
// holds: Ctrl-C ends that wait within a second, not after its ten.
TEST_F(UnwritableLog, AnInterruptEndsTheWaitForALockedLogSoon) {
    const std::string log = dir_ + "/units.jsonl";
    const int holder = open(log.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    sim::SimDevice device(config_);
    device.Start();
    const pid_t pid = dedarida::test::StartTool({"--upgrade", "--port", Unit(), "--log", log},
                                                dir_ + "/out", dir_ + "/err");
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (Read("out").find("result: ") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    const auto interrupted = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 74) << Read("err");
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 3s);
    EXPECT_NE(Read("err").find("(interrupted while another program holds the lock of " + log + ")"),
              std::string::npos)
        << Read("err");
    close(holder);
    EXPECT_EQ(Read("units.jsonl"), "");
}

} // namespace
