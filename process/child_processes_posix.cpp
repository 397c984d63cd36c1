#include "process/child_processes.h"
#include "process/process_setup.h"
#include "process/signal_watcher.h"
#include "process/spawn_argv.h"
#include "system/event_fd.h"

#include <algorithm>
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
#include <sys/prctl.h>
#include <sys/stat.h>
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
    // A program of another's: the leader of a process group of its own.
    bool program = false;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool killed = false;

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

// Ours without the variables `set` gives ("NAME=value") and without who
// supervises us, then `set`.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& set) {
    std::vector<std::string> names = {std::string(SupervisorVariable) + "="};
    for (const std::string& entry : set)
        names.push_back(entry.substr(0, entry.find('=') + 1));
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::none_of(names.begin(), names.end(), [&](const std::string& name) {
                return std::strncmp(*entry, name.c_str(), name.size()) == 0;
            }))
            environment.emplace_back(*entry);
    environment.insert(environment.end(), set.begin(), set.end());
    return environment;
}

// The environment a child of this executable starts with: ours, and who
// supervises it.
std::vector<std::string> ChildEnvironment() {
    return EnvironmentWith({std::string(SupervisorVariable) + "=" + std::to_string(getpid())});
}

// A pipe holding all of `input`, then its end, for a child's standard input:
// its read end, or -1 with errno set.
int InputPipe(const std::string& input) {
    std::array<int, 2> ends;
    if (pipe2(ends.data(), O_CLOEXEC) != 0)
        return -1;
    // Room for the whole of it, so that writing it never waits for the reader.
    const int room = fcntl(ends[1], F_GETPIPE_SZ);
    if (room >= 0 && static_cast<std::size_t>(room) < input.size())
        fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(input.size()));
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t put = write(ends[1], input.data() + written, input.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            const int error = put < 0 && errno != EAGAIN ? errno : EFBIG;
            CloseFd(ends[0]);
            CloseFd(ends[1]);
            errno = error;
            return -1;
        }
        written += static_cast<std::size_t>(put);
    }
    CloseFd(ends[1]);
    return ends[0];
}

// In the child between fork and exec: only calls safe after a fork of a
// process with threads. Writes errno to `status` when the exec fails.
[[noreturn]] void ExecProgram(const char* path, char* const* argv, char* const* envp, int input,
                              int null, int status, pid_t parent) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have ended before the line above.
    if (getppid() != parent)
        _exit(127);
    // Ours are blocked for the signal watcher, and a pipe's end ignored:
    // the program starts as any program does.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &plain, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(input, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0)
        _exit(127);
    execve(path, argv, envp);
    const int error = errno;
    [[maybe_unused]] const ssize_t told = write(status, &error, sizeof error);
    _exit(127);
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

    // An unreaped child keeps its pid, so this reaches it and no other; a
    // program's group keeps its number as long.
    void InterruptAll() {
        wake.Reset();
        for (const auto& [number, child] : children)
            if (child.exited >= 0) {
                // One that made a group of its own is reached alone.
                if (child.program && kill(-child.pid, SIGINT) != 0)
                    kill(child.pid, SIGINT);
                else if (!child.program)
                    passOn(child.pid);
            }
    }
    // Milliseconds until the first deadline still to come, -1 for none.
    int WaitLimit() const {
        std::optional<std::chrono::steady_clock::time_point> first;
        for (const auto& [number, child] : children)
            if (child.deadline && !child.killed && child.exited >= 0 &&
                (!first || *child.deadline < *first))
                first = child.deadline;
        if (!first)
            return -1;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*first - std::chrono::steady_clock::now());
        return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
    }
    void KillOverdue() {
        const auto now = std::chrono::steady_clock::now();
        for (auto& [number, child] : children)
            if (child.deadline && !child.killed && child.exited >= 0 && *child.deadline <= now) {
                kill(-child.pid, SIGKILL);
                kill(child.pid, SIGKILL);
                child.killed = true;
            }
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
            child.end->overdue = child.killed && !child.end->exitStatus;
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
                                                 const std::vector<std::string>& arguments,
                                                 std::string& error) {
    std::array<int, 2> output;
    std::array<int, 2> errors;
    if (pipe2(output.data(), O_CLOEXEC) != 0) {
        error = std::generic_category().message(errno);
        return std::nullopt;
    }
    if (pipe2(errors.data(), O_CLOEXEC) != 0) {
        error = std::generic_category().message(errno);
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
        error = std::generic_category().message(failed != 0 ? failed : errno);
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
    Child& child = platform_->children[number];
    child.pid = pid;
    child.exited = exited;
    child.streams = {output[0], errors[0]};
    return number;
}

std::optional<std::size_t> ChildProcesses::StartProgram(const Program& program,
                                                        std::string& error) {
    const auto failed = [&](int code) {
        error = std::generic_category().message(code);
        return std::nullopt;
    };
    int input = InputPipe(program.input);
    if (input < 0)
        return failed(errno);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::array<int, 2> status{-1, -1};
    if (null < 0 || pipe2(status.data(), O_CLOEXEC) != 0) {
        const int code = errno;
        CloseFd(input);
        CloseFd(null);
        return failed(code);
    }
    std::vector<std::string> arguments = {program.path};
    std::vector<char*> argv = SpawnArgv(arguments);
    std::vector<std::string> environment = EnvironmentWith(program.environment);
    std::vector<char*> envp = SpawnArgv(environment);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0)
        ExecProgram(program.path.c_str(), argv.data(), envp.data(), input, null, status[1], parent);
    const int forkError = errno;
    CloseFd(input);
    CloseFd(null);
    CloseFd(status[1]);
    if (pid < 0) {
        CloseFd(status[0]);
        return failed(forkError);
    }
    // Also here, so that no signal for its group comes before it has one.
    setpgid(pid, pid);
    int execError = 0;
    ssize_t got = 0;
    while ((got = read(status[0], &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    CloseFd(status[0]);
    const int exited = got == 0 ? OpenProcess(pid) : -1;
    if (exited < 0) {
        const int code = got == 0 ? errno : execError;
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return failed(code);
    }
    const std::size_t number = platform_->started++;
    Child& child = platform_->children[number];
    child.pid = pid;
    child.exited = exited;
    child.program = true;
    child.deadline = program.deadline;
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
        if (poll(fds.data(), fds.size(), p.WaitLimit()) < 0) {
            if (errno == EINTR)
                continue;
            ThrowErrno("poll");
        }
        p.KillOverdue();
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

std::string ProgramRefusal(const std::string& path) {
    struct stat file {};
    if (stat(path.c_str(), &file) != 0)
        return std::generic_category().message(errno);
    if (!S_ISREG(file.st_mode))
        return "is no regular file";
    if (access(path.c_str(), X_OK) != 0)
        return "is not executable";
    return "";
}

} // namespace dedarida
