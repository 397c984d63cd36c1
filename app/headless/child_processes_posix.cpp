#include "app/headless/child_processes.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/spawn_argv.h"
#include "serial/event_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace dedarida {

namespace {

struct Child {
    pid_t pid = -1;
    // Indexed by Stream: standard output, standard error.
    std::array<int, 2> streams{-1, -1};
};

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

struct ChildProcesses::Platform {
    // The watcher is made before any child, so every child starts with the
    // signals blocked and takes them through its own watcher.
    explicit Platform(std::size_t count) : children(count), signals([this] { wake.Set(); }) {}
    ~Platform() {
        for (Child& child : children)
            for (int& fd : child.streams)
                CloseFd(fd);
    }

    void InterruptAll() {
        wake.Reset();
        for (const Child& child : children)
            if (child.pid > 0)
                kill(child.pid, SIGINT);
    }

    std::vector<Child> children;
    EventFd wake;
    SignalWatcher signals;
};

ChildProcesses::ChildProcesses(std::size_t count) : platform_(std::make_unique<Platform>(count)) {}

ChildProcesses::~ChildProcesses() = default;

bool ChildProcesses::Start(std::size_t i, const std::vector<std::string>& arguments) {
    Child& child = platform_->children.at(i);
    std::array<int, 2> output;
    std::array<int, 2> errors;
    if (pipe2(output.data(), O_CLOEXEC) != 0)
        return false;
    if (pipe2(errors.data(), O_CLOEXEC) != 0) {
        for (int& fd : output)
            CloseFd(fd);
        return false;
    }
    std::vector<std::string> copy = arguments;
    std::vector<char*> argv = SpawnArgv(copy);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    const int failed =
        posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(output[1]);
    CloseFd(errors[1]);
    if (failed != 0) {
        child.pid = -1;
        CloseFd(output[0]);
        CloseFd(errors[0]);
        return false;
    }
    child.streams = {output[0], errors[0]};
    return true;
}

void ChildProcesses::Follow(const Take& take) {
    std::vector<pollfd> fds;
    std::array<char, 4096> buffer;
    for (;;) {
        fds.assign(1, {platform_->wake.Fd(), POLLIN, 0});
        for (const Child& child : platform_->children)
            for (const int fd : child.streams)
                if (fd >= 0)
                    fds.push_back({fd, POLLIN, 0});
        if (fds.size() == 1)
            return;
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno("poll");
        }
        if (fds[0].revents != 0)
            platform_->InterruptAll();
        for (std::size_t i = 0; i < platform_->children.size(); ++i) {
            for (std::size_t s = 0; s < 2; ++s) {
                int& fd = platform_->children[i].streams[s];
                const bool ready = fd >= 0 && std::any_of(fds.begin() + 1, fds.end(), [&](auto& p) {
                                       return p.fd == fd && p.revents != 0;
                                   });
                if (!ready)
                    continue;
                const ssize_t got = read(fd, buffer.data(), buffer.size());
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    CloseFd(fd);
                    continue;
                }
                take(i, static_cast<Stream>(s),
                     std::string_view(buffer.data(), static_cast<std::size_t>(got)));
            }
        }
    }
}

ChildProcesses::End ChildProcesses::WaitForEnd(std::size_t i) {
    const pid_t pid = platform_->children.at(i).pid;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            ThrowErrno("waitpid");
    if (WIFEXITED(status))
        return {WEXITSTATUS(status), ""};
    return {std::nullopt, "ended by signal " + std::to_string(WTERMSIG(status))};
}

} // namespace dedarida
