// Child processes running small shell commands, followed the way the fleet
// follows its units.
#include "process/child_processes.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using dedarida::ChildProcesses;

// The parent process id of `pid`, from the system's own table; 0 once it is gone.
pid_t ParentOf(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    char state = 0;
    pid_t parent = 0;
    std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent);
    return parent;
}

class Children : public ::testing::Test {
protected:
    std::size_t Start(const std::string& command) {
        std::string error;
        const auto child = processes_.Start("/bin/sh", {"sh", "-c", command}, error);
        EXPECT_TRUE(child.has_value()) << command;
        return child.value_or(0);
    }
    void Follow(const std::function<void(std::size_t, const ChildProcesses::End&)>& ended = {}) {
        processes_.Follow(
            [&](std::size_t child, ChildProcesses::Stream stream, std::string_view bytes) {
                (stream == ChildProcesses::Stream::Output ? output_ : errors_)[child] += bytes;
                if (taken_)
                    taken_(child);
            },
            [&](std::size_t child, const ChildProcesses::End& end) {
                ends_[child] = end;
                if (ended)
                    ended(child, end);
            });
    }
    static void Interrupt() { kill(getpid(), SIGINT); }

    std::map<std::size_t, std::string> output_;
    std::map<std::size_t, std::string> errors_;
    std::map<std::size_t, ChildProcesses::End> ends_;
    std::function<void(std::size_t)> taken_;
    std::vector<long> interrupted_;
    // An interrupt ends a child of ours at once; a process that is not ours
    // (a pid used again) is only noted, never signalled.
    ChildProcesses processes_{[this](long pid) {
        interrupted_.push_back(pid);
        if (ParentOf(pid) == getpid())
            kill(static_cast<pid_t>(pid), SIGKILL);
    }};
};

// Each child starts the next as it ends; the last one stays until an
// interrupt. Only that one may be signalled: the others' ids are free for
// any process by then.
TEST_F(Children, AnInterruptReachesOnlyTheChildrenStillRunningAndEndedOnesAreLetGo) {
    constexpr std::size_t Chain = 20;
    Start("echo $$");
    taken_ = [&](std::size_t child) {
        if (child == Chain && output_[child].ends_with('\n'))
            Interrupt();
    };
    std::size_t mostHeld = 0;
    Follow([&](std::size_t child, const ChildProcesses::End&) {
        mostHeld = std::max(mostHeld, processes_.Held());
        if (child + 1 < Chain)
            Start("echo $$");
        else if (child + 1 == Chain)
            Start("echo $$; exec sleep 30");
    });
    ASSERT_EQ(output_.size(), Chain + 1);
    EXPECT_EQ(interrupted_, std::vector<long>{std::stol(output_[Chain])});
    EXPECT_EQ(ends_[Chain].otherwise, "ended by signal 9");
    for (std::size_t child = 0; child < Chain; ++child)
        EXPECT_EQ(ends_[child].exitStatus, 0) << child;
    EXPECT_EQ(mostHeld, 0u);
    EXPECT_EQ(processes_.Held(), 0u);
}

// The child started as another ends takes the descriptor numbers just let
// go. It prints nothing for two seconds; a third child's line must come
// through meanwhile, and the interrupt that line brings must end it.
TEST_F(Children, AChildStartedAsAnotherEndsNeverHoldsTheOthersBack) {
    Start("exit 0");
    // Its pipes are closed once it is a zombie; it stays one until followed.
    siginfo_t info{};
    ASSERT_EQ(waitid(P_ALL, 0, &info, WEXITED | WNOWAIT), 0);
    std::size_t quiet = 0;
    std::size_t talker = 0;
    taken_ = [&](std::size_t child) {
        if (child == talker && output_[child] == "third\n")
            Interrupt();
    };
    Follow([&](std::size_t child, const ChildProcesses::End&) {
        if (child != 0)
            return;
        quiet = Start("exec sleep 2");
        talker = Start("echo third; exec sleep 30");
    });
    EXPECT_EQ(output_[talker], "third\n");
    EXPECT_EQ(output_[quiet], "");
    EXPECT_EQ(ends_[quiet].otherwise, "ended by signal 9");
    EXPECT_EQ(ends_[talker].otherwise, "ended by signal 9");
}

// A window's close button stops the station from its own thread.
TEST_F(Children, AnInterruptFromAnotherThreadReachesEveryChildAsCtrlCDoes) {
    Start("echo $$; exec sleep 30");
    Start("echo $$; exec sleep 30");
    std::thread stopper;
    taken_ = [&](std::size_t) {
        if (output_[0].ends_with('\n') && output_[1].ends_with('\n') && !stopper.joinable())
            stopper = std::thread([this] { processes_.Interrupt(); });
    };
    Follow();
    stopper.join();
    EXPECT_TRUE(processes_.Interrupted());
    std::sort(interrupted_.begin(), interrupted_.end());
    std::vector<long> children = {std::stol(output_[0]), std::stol(output_[1])};
    std::sort(children.begin(), children.end());
    EXPECT_EQ(interrupted_, children);
    EXPECT_EQ(ends_[0].otherwise, "ended by signal 9");
    EXPECT_EQ(ends_[1].otherwise, "ended by signal 9");
}

TEST_F(Children, EachEndSaysHowTheChildEnded) {
    Start("printf out; printf err >&2; exit 3");
    Start("kill -KILL $$");
    Follow();
    EXPECT_EQ(output_[0], "out");
    EXPECT_EQ(errors_[0], "err");
    EXPECT_EQ(ends_[0].exitStatus, 3);
    EXPECT_FALSE(ends_[1].exitStatus.has_value());
    EXPECT_EQ(ends_[1].otherwise, "ended by signal 9");
}

} // namespace
