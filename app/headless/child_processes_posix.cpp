#include "app/headless/child_processes.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/spawn_argv.h"
#include "serial/event_fd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <mutex>
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
    explicit Platform(PassOn interrupt)
        : passOn(interrupt ? std::move(interrupt)
                           : [](long pid) { kill(static_cast<pid_t>(pid), SIGINT); }),
          signals([this] { wake.Set(); }) {}
    ~Platform() {
        for (Child& child : children)
            for (int& fd : child.streams)
                CloseFd(fd);
    }

    void InterruptAll() {
        wake.Reset();
        for (const Child& child : children)
            if (child.pid > 0)
                passOn(child.pid);
    }
    void RunPosted() {
        posted.Reset();
        std::vector<std::function<void()>> routines;
        {
            std::lock_guard lock(postMutex);
            routines.swap(posts);
        }
        for (auto& routine : routines)
            routine();
    }

    End WaitForEnd(std::size_t i) {
        const pid_t pid = children.at(i).pid;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0)
            if (errno != EINTR)
                ThrowErrno("waitpid");
        if (WIFEXITED(status))
            return {WEXITSTATUS(status), ""};
        return {std::nullopt, "ended by signal " + std::to_string(WTERMSIG(status))};
    }

    PassOn passOn;
    // A deque: children keep their place as more start.
    std::deque<Child> children;
    EventFd wake;
    EventFd posted;
    std::mutex postMutex;
    std::vector<std::function<void()>> posts;
    SignalWatcher signals;
};

ChildProcesses::ChildProcesses(PassOn passOn)
    : platform_(std::make_unique<Platform>(std::move(passOn))) {}

ChildProcesses::~ChildProcesses() = default;

std::optional<std::size_t> ChildProcesses::Start(const std::string& program,
                                                 const std::vector<std::string>& arguments) {
    std::array<int, 2> output;
    std::array<int, 2> errors;
    if (pipe2(output.data(), O_CLOEXEC) != 0)
        return std::nullopt;
    if (pipe2(errors.data(), O_CLOEXEC) != 0) {
        for (int& fd : output)
            CloseFd(fd);
        return std::nullopt;
    }
    std::vector<std::string> copy = arguments;
    std::vector<char*> argv = SpawnArgv(copy);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(output[1]);
    CloseFd(errors[1]);
    if (failed != 0) {
        CloseFd(output[0]);
        CloseFd(errors[0]);
        return std::nullopt;
    }
    platform_->children.push_back({pid, {output[0], errors[0]}});
    return platform_->children.size() - 1;
}

void ChildProcesses::Post(std::function<void()> routine) {
    {
        std::lock_guard lock(platform_->postMutex);
        platform_->posts.push_back(std::move(routine));
    }
    platform_->posted.Set();
}

bool ChildProcesses::Interrupted() const {
    return platform_->signals.Signalled();
}

void ChildProcesses::Follow(const Take& take, const Ended& ended,
                            const std::function<bool()>& done) {
    std::vector<pollfd> fds;
    std::array<char, 4096> buffer;
    for (;;) {
        fds.assign({{platform_->wake.Fd(), POLLIN, 0}, {platform_->posted.Fd(), POLLIN, 0}});
        for (const Child& child : platform_->children)
            for (const int fd : child.streams)
                if (fd >= 0)
                    fds.push_back({fd, POLLIN, 0});
        if (fds.size() == 2 && done())
            return;
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno("poll");
        }
        if (fds[0].revents != 0)
            platform_->InterruptAll();
        for (std::size_t i = 0; i < platform_->children.size(); ++i) {
            Child& child = platform_->children[i];
            for (std::size_t s = 0; s < 2; ++s) {
                int& fd = child.streams[s];
                const bool ready = fd >= 0 && std::any_of(fds.begin() + 2, fds.end(), [&](auto& p) {
                                       return p.fd == fd && p.revents != 0;
                                   });
                if (!ready)
                    continue;
                const ssize_t got = read(fd, buffer.data(), buffer.size());
                if (got < 0 && errno == EINTR)
                    continue;
                if (got > 0) {
                    take(i, static_cast<Stream>(s),
                         std::string_view(buffer.data(), static_cast<std::size_t>(got)));
                    continue;
                }
                CloseFd(fd);
                if (child.streams[0] < 0 && child.streams[1] < 0)
                    ended(i, platform_->WaitForEnd(i));
            }
        }
        if (fds[1].revents != 0)
            platform_->RunPosted();
    }
}

std::size_t ChildProcesses::Held() const {
    return platform_->children.size();
}

std::string ThisProgram() {
    return "/proc/self/exe";
}

} // namespace dedarida
