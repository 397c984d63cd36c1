// Child processes running small shell commands, followed the way the fleet
// follows its units.
#include "process/child_processes.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
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
using namespace std::chrono_literals;

// The state and parent of `pid`, from the system's own table; 'X' and 0
// once it is gone.
struct ProcessState {
    char state = 'X';
    pid_t parent = 0;
};
ProcessState StateOf(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    ProcessState found;
    if (const auto close = text.rfind(')'); close != std::string::npos)
        std::sscanf(text.c_str() + close + 1, " %c %d", &found.state, &found.parent);
    return found;
}

pid_t ParentOf(long pid) {
    return StateOf(pid).parent;
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

// A udev event posted while every child is silent runs at once; here it
// interrupts, which ends the sleeping child long before its sleep would.
TEST_F(Children, WhatIsPostedRunsWhileEveryChildIsSilent) {
    Start("exec sleep 3");
    std::thread poster([this] {
        std::this_thread::sleep_for(100ms);
        processes_.Post([this] { processes_.Interrupt(); });
    });
    Follow();
    poster.join();
    EXPECT_EQ(ends_[0].otherwise, "ended by signal 9");
}

// More than a pipe holds, written as fast as the child can: the child is
// never refused a write, and every byte arrives.
TEST_F(Children, AChildThatWritesMoreThanAPipeHoldsIsReadWhole) {
    Start("head -c 1000000 /dev/zero | tr '\\0' x && "
          "head -c 1000000 /dev/zero | tr '\\0' y >&2");
    Follow();
    EXPECT_EQ(ends_[0].exitStatus, 0);
    // Counted, not compared: a failure prints no megabyte.
    EXPECT_EQ(std::count(output_[0].begin(), output_[0].end(), 'x'), 1000000);
    EXPECT_EQ(std::count(errors_[0].begin(), errors_[0].end(), 'y'), 1000000);
    EXPECT_EQ(output_[0].size() + errors_[0].size(), 2000000u);
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

// Programs of another's: a script written for each test.
class Programs : public Children {
protected:
    Programs() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-programs-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
    }
    ~Programs() override { std::filesystem::remove_all(dir_); }

    // A script of `body`, started with `input` and `environment`, killed
    // `within` from now.
    std::size_t StartScript(const std::string& body, const std::string& input = {},
                            const std::vector<std::string>& environment = {},
                            std::chrono::milliseconds within = 30s) {
        const std::string path = dir_ + "/program " + std::to_string(++scripts_);
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        std::string error;
        const auto child = processes_.StartProgram(
            {path, input, environment, std::chrono::steady_clock::now() + within}, error);
        EXPECT_TRUE(child.has_value()) << error;
        return child.value_or(0);
    }
    std::string Read(const std::string& name) const {
        std::ifstream file(dir_ + "/" + name);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // Waits a little for the file `name` to hold a line.
    std::string WaitForLine(const std::string& name) const {
        for (int i = 0; i < 200 && !Read(name).ends_with('\n'); ++i)
            std::this_thread::sleep_for(10ms);
        return Read(name);
    }
    // Whether the process `pid` has ended (gone, or a zombie nobody reaped
    // yet), within a second.
    static bool Ended(pid_t pid) {
        const auto ended = [pid] {
            const char state = StateOf(pid).state;
            return state == 'X' || state == 'Z';
        };
        for (int i = 0; i < 100 && !ended(); ++i)
            std::this_thread::sleep_for(10ms);
        return ended();
    }

    std::string dir_;
    int scripts_ = 0;
};

// Longer than a pipe holds by default, so that writing it could wait.
TEST_F(Programs, AProgramGetsItsInputAndEnvironmentAndPrintsNothingToUs) {
    const std::string input = std::string(70000, 'r') + "\n";
    // Inherited: TEXT is given anew, and who supervises us is not passed on.
    setenv("TEXT", "inherited", 1);
    setenv("DEDARIDA_SUPERVISOR", "1", 1);
    // As it was started: the shell would fold a variable given twice.
    StartScript("cat > \"$DIR/in\"; tr '\\0' '\\n' < /proc/$$/environ > \"$DIR/env\"; "
                "echo printed; exit 4",
                input, {"DIR=" + dir_, "TEXT=$(touch pwned); touch pwned"});
    unsetenv("TEXT");
    unsetenv("DEDARIDA_SUPERVISOR");
    Follow();
    EXPECT_EQ(ends_[0].exitStatus, 4);
    EXPECT_FALSE(ends_[0].overdue);
    EXPECT_EQ(Read("in"), input);
    const std::string environment = Read("env");
    EXPECT_NE(environment.find("\nTEXT=$(touch pwned); touch pwned\n"), std::string::npos);
    EXPECT_EQ(environment.find("TEXT=inherited"), std::string::npos) << environment;
    EXPECT_EQ(environment.find("DEDARIDA_SUPERVISOR"), std::string::npos) << environment;
    EXPECT_NE(environment.find("\nPATH="), std::string::npos);
    EXPECT_TRUE(output_.empty() && errors_.empty());
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(Programs, AProgramPastItsDeadlineIsKilledWithTheProcessesItStarted) {
    StartScript("trap '' INT TERM; sleep 30 & echo $! > \"$DIR/pid\"; wait", {}, {"DIR=" + dir_},
                500ms);
    const auto started = std::chrono::steady_clock::now();
    Follow();
    EXPECT_TRUE(ends_[0].overdue);
    EXPECT_EQ(ends_[0].otherwise, "ended by signal 9");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_TRUE(Ended(std::stoi(WaitForLine("pid"))));
}

TEST_F(Programs, AnInterruptReachesAProgramAndTheProcessesItStarted) {
    StartScript("sh -c 'echo $$ > \"$DIR/pid\"; exec sleep 30'", {}, {"DIR=" + dir_});
    std::thread interrupter([this] {
        WaitForLine("pid");
        Interrupt();
    });
    Follow();
    interrupter.join();
    EXPECT_EQ(ends_[0].otherwise, "ended by signal 2");
    EXPECT_FALSE(ends_[0].overdue);
    EXPECT_TRUE(Ended(std::stoi(Read("pid"))));
}

TEST_F(Programs, WhatCannotBeStartedIsSaid) {
    std::ofstream(dir_ + "/plain") << "#!/bin/sh\n";
    std::filesystem::create_directory(dir_ + "/folder");
    const std::map<std::string, std::string> rows = {
        {dir_ + "/missing", "No such file or directory"},
        {dir_ + "/folder", "is no regular file"},
        {dir_ + "/plain", "is not executable"}};
    for (const auto& [path, reason] : rows)
        EXPECT_EQ(dedarida::ProgramRefusal(path), reason) << path;
    std::string error;
    EXPECT_FALSE(processes_.StartProgram({dir_ + "/missing", {}, {}, {}}, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(processes_.StartProgram({dir_ + "/plain", {}, {}, {}}, error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_EQ(processes_.Held(), 0u);
}

} // namespace
