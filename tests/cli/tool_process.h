#pragma once

#include "process/spawn_argv.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace dedarida::test {

// Starts the tool's executable on `arguments`. Its standard output and error
// go to the files `outPath` and `errPath` (an empty `outPath`: standard output
// closed), or both to `terminal` when it is a descriptor (a pty's slave, a pipe).
// A `runner` (a program and its arguments, such as setpriv's) starts it.
inline pid_t StartTool(const std::vector<std::string>& arguments, const std::string& outPath,
                       const std::string& errPath, int terminal = -1,
                       const std::vector<std::string>& runner = {}) {
    std::vector<std::string> argv = runner;
    argv.push_back(DEDARIDA_EXECUTABLE);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers = SpawnArgv(argv);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (terminal >= 0) {
        posix_spawn_file_actions_adddup2(&actions, terminal, 1);
        posix_spawn_file_actions_adddup2(&actions, terminal, 2);
    } else {
        if (outPath.empty())
            posix_spawn_file_actions_addclose(&actions, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The tool's exit status; -1 when it did not exit by itself.
inline int WaitForTool(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace dedarida::test
