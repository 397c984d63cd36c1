#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida {

// Child processes, each with its standard output and standard error on
// pipes of ours and its standard input on the null device, or programs of
// another's (see StartProgram). An interrupt
// (Ctrl-C, on Linux also SIGTERM and SIGHUP) while they run is passed on to
// every one of them, and does not end this process: it waits for theirs. A
// child that is this executable takes it at any moment of its life, also
// before its own watcher exists; one that outlives this process (killed
// outright) ends too. Construct it
// before any other thread starts (see SignalWatcher). Main thread only,
// except Post.
class ChildProcesses {
public:
    enum class Stream { Output, Errors };
    // How a child ended: its exit status, or else how it ended otherwise
    // ("ended by signal 9").
    struct End {
        std::optional<int> exitStatus;
        std::string otherwise;
        // Killed at its deadline (see Program).
        bool overdue = false;
    };
    // A program of another's, not this executable: started directly, never
    // through a shell, with no arguments. Its standard input is `input`, then
    // its end; its standard output and error are the null device; its
    // environment is ours with `environment` ("NAME=value") set. An
    // interrupt reaches it as any program's (on Linux, it and the processes
    // it starts). It is killed at `deadline` (on Linux with the processes it
    // started), and ends with this process even one killed outright.
    struct Program {
        std::string path;
        std::string input;
        std::vector<std::string> environment;
        std::chrono::steady_clock::time_point deadline;
    };
    // What a child printed on one of its streams.
    using Take = std::function<void(std::size_t child, Stream stream, std::string_view bytes)>;
    // A child has ended: both of its streams are closed and its process is
    // gone, so nothing can reach it any more.
    using Ended = std::function<void(std::size_t child, const End& end)>;
    // Passes an interrupt on to the running child with this process id. By
    // default: SIGINT on Linux; on Windows the event its process watches.
    using PassOn = std::function<void(long processId)>;

    explicit ChildProcesses(PassOn passOn = {});
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts `program` with `arguments` (the first is its name) and returns
    // its number, counting from 0; nothing, with the system's reason in
    // `error`, when it cannot be started. Safe inside `take` and `ended`.
    std::optional<std::size_t> Start(const std::string& program,
                                     const std::vector<std::string>& arguments, std::string& error);
    // Starts `program` and returns its number, as Start does; nothing, with
    // the system's reason in `error`, when it cannot be started. It prints
    // nothing to `take`.
    std::optional<std::size_t> StartProgram(const Program& program, std::string& error);
    // Hands what the children print to `take` and each end to `ended`, in the
    // order they come, and runs what is posted, until `done` holds while no
    // child runs (by default: once every child has ended).
    void Follow(
        const Take& take, const Ended& ended,
        const std::function<bool()>& done = [] { return true; });
    // Any thread: runs `routine` inside Follow, on its thread.
    void Post(std::function<void()> routine);
    // Whether an interrupt has come.
    bool Interrupted() const;
    // Any thread: an interrupt, as Ctrl-C gives one, passed on to every child.
    void Interrupt();
    // Children started whose end has not been handed to `ended` yet.
    std::size_t Held() const;

private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};

// This executable, by the path it was started from, so that its children
// carry its name.
std::string ThisProgram();

// Why the file at `path` cannot be started as a Program ("No such file or
// directory", "is no regular file", "is not executable"), or empty.
std::string ProgramRefusal(const std::string& path);

} // namespace dedarida
