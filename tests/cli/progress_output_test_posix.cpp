#include "app/cli/progress_output.h"
#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"
#include "tests/cli/terminal.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using dedarida::test::Bars;
using dedarida::test::Headless;
using dedarida::test::Screen;
using dedarida::test::Terminal;

// Far beyond a whole upgrade of the quick device, even under a sanitizer.
constexpr auto UpgradeBound = 40s;

// A pipe whose reader has stopped reading: it is full before the tool writes.
class FullPipe {
public:
    FullPipe() {
        EXPECT_EQ(pipe2(ends_, O_NONBLOCK | O_CLOEXEC), 0);
        const std::string filler(4096, '.');
        while (write(ends_[1], filler.data(), filler.size()) > 0)
            filled_ += filler.size();
        // A partial page may still fit.
        while (write(ends_[1], filler.data(), 1) > 0)
            ++filled_;
        EXPECT_GT(filled_, 0u);
        fcntl(ends_[1], F_SETFL, 0);
    }
    ~FullPipe() {
        if (reader_.joinable())
            reader_.join();
        for (const int end : ends_)
            if (end >= 0)
                close(end);
    }
    int Writer() const { return ends_[1]; }
    // The reader comes back and reads, on a thread of its own, until every
    // writer has closed the pipe (give the writer away first: it closes its own).
    void Resume() {
        close(ends_[1]);
        ends_[1] = -1;
        fcntl(ends_[0], F_SETFL, 0);
        reader_ = std::thread([this] {
            char buffer[4096];
            for (ssize_t got; (got = read(ends_[0], buffer, sizeof buffer)) > 0;) {
                std::lock_guard lock(mutex_);
                read_.append(buffer, static_cast<std::size_t>(got));
                more_.notify_all();
            }
        });
    }
    // Whether `bytes` beyond the filler have come within `limit`.
    bool WaitForOutput(std::size_t bytes, std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return more_.wait_for(lock, limit, [&] { return read_.size() >= filled_ + bytes; });
    }
    // What came after the filler, once every writer has closed the pipe.
    std::string ReadAll() {
        if (!reader_.joinable())
            Resume();
        reader_.join();
        EXPECT_GE(read_.size(), filled_);
        return read_.substr(std::min(filled_, read_.size()));
    }

private:
    int ends_[2] = {-1, -1};
    std::size_t filled_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable more_;
    std::string read_;
};

TEST_F(Headless, OnATerminalOneLineIsRedrawnInPlaceNarrowerAfterAResizeAndEndsAsTheResult) {
    Terminal terminal(120);
    // Blocks far enough apart that a reader who keeps up sees each bar: only
    // the redraws of a lagging one are merged.
    config_.programTime = 30ms;
    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid =
        dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", terminal.Slave());
    std::size_t barsBeforeResize = 0;
    const auto blockShown = [](const std::string& sofar) {
        const auto at = sofar.rfind("block ");
        return at == std::string::npos ? 0 : std::atoi(sofar.c_str() + at + 6);
    };
    const std::string output = terminal.ReadAll([&](const std::string& sofar) {
        if (barsBeforeResize == 0 && blockShown(sofar) >= 40) {
            barsBeforeResize = Bars(sofar).size();
            terminal.SetWidth(66);
        }
    });
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);
    device.Stop();

    const auto bars = Bars(output);
    ASSERT_GT(barsBeforeResize, 10u) << output;
    ASSERT_GT(bars.size(), barsBeforeResize + 10) << output;
    for (const auto& bar : bars)
        EXPECT_LT(bar.size(), 120u) << bar;
    // Bars already on their way when the terminal shrank are drawn at the old width.
    const auto narrow = std::find_if(bars.begin() + static_cast<long>(barsBeforeResize), bars.end(),
                                     [](const auto& bar) { return bar.size() < 66; });
    ASSERT_GT(bars.end() - narrow, 10) << output;
    for (auto bar = narrow; bar != bars.end(); ++bar)
        EXPECT_LT(bar->size(), 66u) << *bar;
    EXPECT_NE(bars[barsBeforeResize - 1].find("programming"), std::string::npos);
    EXPECT_NE(bars.back().find(" 86/86 "), std::string::npos) << bars.back();

    const auto screen = Screen(output);
    ASSERT_GE(screen.size(), 2u);
    EXPECT_EQ(screen.back(), "result: programmed (exit 0)");
    EXPECT_EQ(screen[screen.size() - 2], "message: System Programmed OK  v4.5");
    for (const auto& line : screen)
        EXPECT_FALSE(line.starts_with("[")) << line;
}

TEST_F(Headless, IntoAPipeProgressIsOneLinePerTenPercent) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line()}), 0);
    std::istringstream out(Read("out"));
    std::vector<std::string> progress;
    for (std::string line; std::getline(out, line);)
        if (line.starts_with("progress:"))
            progress.push_back(line);
    ASSERT_EQ(progress.size(), 10u) << Read("out");
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_TRUE(progress[i].starts_with("progress: " + std::string(i < 9 ? " " : "") +
                                            std::to_string((i + 1) * 10) + "%  block "))
            << progress[i];
    EXPECT_NE(progress.back().find("block 86/86"), std::string::npos);
    EXPECT_EQ(Read("out").find('\r'), std::string::npos);
}

TEST_F(Headless, QuietPrintsOnlyTheResultLine) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--quiet"}), 0);
    EXPECT_EQ(Read("out"), "result: programmed (exit 0)\n");
    EXPECT_EQ(Read("err"), "");
}

} // namespace

namespace {

bool Programmed(const dedarida::sim::SimDevice& device) {
    const auto firmware = dedarida::EmbeddedFirmware();
    const auto flash = device.Flash();
    return device.Status().checkPassed == true &&
           std::equal(firmware.begin(), firmware.end(), flash.begin());
}

bool Checked(const dedarida::sim::SimDevice& device) {
    return device.WaitFor([](const auto& status) { return status.checkPassed.has_value(); },
                          UpgradeBound);
}

TEST_F(Headless, AStoppedTerminalHoldsNoUpgradeBackAndShowsTheResultOnceItGoesOn) {
    Terminal terminal(120);
    terminal.Stop();
    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid =
        dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", terminal.Slave());
    EXPECT_TRUE(Checked(device));
    EXPECT_FALSE(terminal.HasOutput());
    terminal.Resume();
    const std::string output = terminal.ReadAll();
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);
    EXPECT_TRUE(Programmed(device));
    const auto screen = Screen(output);
    ASSERT_FALSE(screen.empty()) << output;
    EXPECT_EQ(screen.back(), "result: programmed (exit 0)");
}

// The terminal stays stopped: the tool still ends, after its bounded wait.
TEST_F(Headless, AReaderThatNeverComesBackCostsTheOutputNotTheExit) {
    Terminal terminal(120);
    terminal.Stop();
    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid =
        dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", terminal.Slave());
    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + UpgradeBound + 20s;
    while (!(ended = waitpid(pid, &status, WNOHANG) == pid) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(ended) << "the tool waits for its reader";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(Programmed(device));
}

TEST_F(Headless, AFullPipeHoldsNoUpgradeBackAndGetsEveryEventWholeOnceDrained) {
    FullPipe pipe;
    dedarida::sim::SimDevice device(config_);
    device.Start();
    const pid_t pid =
        dedarida::test::StartTool({"--upgrade", "--port", Line()}, "", "", pipe.Writer());
    EXPECT_TRUE(Checked(device));
    const std::string output = pipe.ReadAll();
    EXPECT_EQ(dedarida::test::WaitForTool(pid), 0);
    EXPECT_TRUE(Programmed(device));

    std::vector<std::string> lines;
    std::istringstream text(output);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines)
        EXPECT_TRUE(line.starts_with("port: ") || line.starts_with("status: ") ||
                    line.starts_with("command: ") || line.starts_with("progress: ") ||
                    line.starts_with("message: ") || line.starts_with("result: "))
            << line;
    const auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_LT(at("status: READY TO UPGRADE"), at("status:  Flash erase OK"));
    EXPECT_LT(at("status:  Flash erase OK"), at("message: System Programmed OK  v4.5"));
    EXPECT_EQ(lines.back(), "result: programmed (exit 0)");
}

} // namespace

namespace {

// A reader stopped for long (a supervisor's, a station's): what waits is
// bounded, the live progress merged into its latest line, and the lines beyond
// the bound are counted once the reader is back; the output never waits for it.
TEST(StalledReader, GetsMergedProgressAndCountedLinesAndIsNeverWaitedFor) {
    FullPipe pipe;
    std::FILE* out = fdopen(dup(pipe.Writer()), "w");
    ASSERT_NE(out, nullptr);
    constexpr int events = 20000; // some 2 MB
    const std::string padding(100, '-');
    std::promise<void> said;
    std::thread reader([&pipe, said = said.get_future()] {
        EXPECT_EQ(said.wait_for(20s), std::future_status::ready) << "the output waited";
        pipe.Resume();
    });
    {
        dedarida::ProgressOutput output(out, dedarida::ProgressOutput::Style::Supervised, {"COM5"});
        for (int i = 0; i < events; ++i) {
            output.Event(0, "status: " + std::to_string(i) + " " + padding);
            output.Update(0, {"programming", (i + 1) * 86 / events, (i + 1) * 86 / events,
                              i * 0.001, 3700.0});
        }
        said.set_value();
        // Room again for a line and the note before it.
        EXPECT_TRUE(pipe.WaitForOutput(256 * 1024, 20s));
        output.Event(0, "status: back");
    }
    std::fclose(out);
    reader.join();

    std::istringstream text(pipe.ReadAll());
    int shown = 0;
    std::vector<std::string> others;
    for (std::string line; std::getline(text, line);)
        if (line == "status: " + std::to_string(shown) + " " + padding)
            ++shown;
        else
            others.push_back(line);
    EXPECT_GT(shown, 1000);
    EXPECT_LT(shown, events);
    EXPECT_EQ(others, (std::vector<std::string>{"live: 86 86 19.999 3700.000 programming",
                                                "note: " + std::to_string(events - shown) +
                                                    " lines dropped while the output was not read",
                                                "status: back"}));
}

} // namespace
