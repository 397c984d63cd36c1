#include "tests/cli/spawned_posix.h"

#include "process/spawn_argv.h"

#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

extern char** environ;

namespace dedarida::test {

namespace {

std::string Contents(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

Finished RunWithoutDisplay(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra, const std::string& dir) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0 &&
            std::strncmp(*entry, "WAYLAND_DISPLAY=", 16) != 0 &&
            std::strncmp(*entry, "QT_QPA_PLATFORM=", 16) != 0)
            environment.emplace_back(*entry);
    environment.insert(environment.end(), extra.begin(), extra.end());
    std::vector<std::string> arguments = argv;
    auto argumentPointers = dedarida::SpawnArgv(arguments);
    auto environmentPointers = dedarida::SpawnArgv(environment);

    const std::string out = dir + "/out";
    const std::string err = dir + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, arguments[0].c_str(), &actions, nullptr,
                                     argumentPointers.data(), environmentPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    Finished finished;
    EXPECT_EQ(spawned, 0) << arguments[0];
    if (spawned != 0)
        return finished;
    int status = 0;
    waitpid(pid, &status, 0);
    finished.signalled = WIFSIGNALED(status);
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    finished.out = Contents(out);
    finished.err = Contents(err);
    return finished;
}

} // namespace dedarida::test
