#include "process/child_processes.h"
#include "process/process_setup.h"
#include "process/signal_watcher.h"
#include "process/spawn_argv.h"
#include "system/event_fd.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace dedarida {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

struct Child {
    pid_t pid = -1;
    // Readable once the process has ended; -1 once it is reaped, and from
    // then on nothing may signal its pid.
    int exited = -1;
    // Indexed by Stream: standard output, standard error.
    std::array<int, 2> streams{-1, -1};
    std::optional<ChildProcesses::End> end;

    bool Over() const { return end && streams[0] < 0 && streams[1] < 0; }
};

// What one entry of a poll stands for: a child's stream, or its end.
struct Watched {
    std::size_t child;
    int what; // a Stream, or Exit
};
constexpr int Exit = 2;

// The system's own call: the C library's declaration lacks C linkage here.
int OpenProcess(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

ChildProcesses::End EndOf(const siginfo_t& info) {
    if (info.si_code == CLD_EXITED)
        return {info.si_status, ""};
    return {std::nullopt, "ended by signal " + std::to_string(info.si_status)};
}

// The environment a child starts with: ours, and who supervises it.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> environment;
    const std::string mark = std::string(SupervisorVariable) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, mark.c_str(), mark.size()) != 0)
            environment.emplace_back(*entry);
    environment.push_back(mark + std::to_string(getpid()));
    return environment;
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
        for (auto& [number, child] : children) {
            for (int& fd : child.streams)
                CloseFd(fd);
            CloseFd(child.exited);
        }
    }

    // An unreaped child keeps its pid, so this reaches it and no other.
    void InterruptAll() {
        wake.Reset();
        for (const auto& [number, child] : children)
            if (child.exited >= 0)
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
    void Reap(Child& child) {
        siginfo_t info{};
        if (waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(child.exited), &info,
                   WEXITED | WNOHANG) != 0) {
            if (errno == EINTR)
                return;
            // Someone else took its status (a SIGCHLD ignored after all).
            child.end = End{std::nullopt, "ended in a way that cannot be told"};
        } else if (info.si_pid == 0) {
            return;
        } else {
            child.end = EndOf(info);
        }
        CloseFd(child.exited);
    }
    // Takes at most one buffer, so a child that prints without pause cannot
    // keep the others waiting.
    void Read(std::size_t number, Child& child, Stream stream, const Take& take) {
        int& fd = child.streams[static_cast<std::size_t>(stream)];
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got > 0)
            take(number, stream, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            CloseFd(fd);
    }

    PassOn passOn;
    // By number; an ended child leaves at once, and numbers are never reused.
    std::map<std::size_t, Child> children;
    std::size_t started = 0;
    std::array<char, 4096> buffer;
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
    // Ours only: the child writes as slowly as it must.
    fcntl(output[0], F_SETFL, O_NONBLOCK);
    fcntl(errors[0], F_SETFL, O_NONBLOCK);
    std::vector<std::string> copy = arguments;
    std::vector<char*> argv = SpawnArgv(copy);
    std::vector<std::string> environment = ChildEnvironment();
    std::vector<char*> envp = SpawnArgv(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(output[1]);
    CloseFd(errors[1]);
    const int exited = failed == 0 ? OpenProcess(pid) : -1;
    if (exited < 0) {
        // Without its end to watch, it could never be reaped.
        if (failed == 0) {
            kill(pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        CloseFd(output[0]);
        CloseFd(errors[0]);
        return std::nullopt;
    }
    const std::size_t number = platform_->started++;
    platform_->children[number] = {pid, exited, {output[0], errors[0]}, std::nullopt};
    return number;
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

void ChildProcesses::Interrupt() {
    platform_->signals.Raise();
}

std::size_t ChildProcesses::Held() const {
    return platform_->children.size();
}

void ChildProcesses::Follow(const Take& take, const Ended& ended,
                            const std::function<bool()>& done) {
    Platform& p = *platform_;
    std::vector<pollfd> fds;
    std::vector<Watched> watched;
    for (;;) {
        if (p.children.empty() && done())
            return;
        fds.assign({{p.wake.Fd(), POLLIN, 0}, {p.posted.Fd(), POLLIN, 0}});
        watched.clear();
        for (const auto& [number, child] : p.children) {
            for (int s = 0; s < 2; ++s)
                if (child.streams[s] >= 0) {
                    fds.push_back({child.streams[s], POLLIN, 0});
                    watched.push_back({number, s});
                }
            if (child.exited >= 0) {
                fds.push_back({child.exited, POLLIN, 0});
                watched.push_back({number, Exit});
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno("poll");
        }
        if (fds[0].revents != 0)
            p.InterruptAll();
        // Children started from a callback below are not in this poll, and
        // are seen from the next one on.
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (fds[i + 2].revents == 0)
                continue;
            const auto entry = p.children.find(watched[i].child);
            if (entry == p.children.end())
                continue;
            Child& child = entry->second;
            if (watched[i].what == Exit)
                p.Reap(child);
            else
                p.Read(entry->first, child, static_cast<Stream>(watched[i].what), take);
            if (!child.Over())
                continue;
            const std::size_t number = entry->first;
            const End end = *child.end;
            p.children.erase(entry);
            ended(number, end);
        }
        if (fds[1].revents != 0)
            p.RunPosted();
    }
}

std::string ThisProgram() {
    std::array<char, PATH_MAX> path;
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    std::string program = length > 0 && static_cast<std::size_t>(length) < path.size()
                              ? std::string(path.data(), static_cast<std::size_t>(length))
                              : std::string();
    // Gone (replaced by a newer package, say): the running image still is.
    if (program.empty() || program.ends_with(" (deleted)"))
        return "/proc/self/exe";
    return program;
}

} // namespace dedarida
