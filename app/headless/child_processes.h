#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida {

// Processes of this same executable, each with its standard output and
// standard error on pipes of ours and its standard input on the null device.
// An interrupt (Ctrl-C, on Linux also SIGTERM and SIGHUP) while they run
// reaches every one of them, and does not end this process: it waits for
// theirs. Construct it before any other thread starts (see SignalWatcher).
// Main thread only, except Post.
class ChildProcesses {
public:
    enum class Stream { Output, Errors };
    // What a child printed on one of its streams.
    using Take = std::function<void(std::size_t child, Stream stream, std::string_view bytes)>;
    // A child has closed both of its streams (it is ending).
    using Ended = std::function<void(std::size_t child)>;

    ChildProcesses();
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts the next child with `arguments` (the first is its name) and
    // returns its number, counting from 0; nothing when it cannot be started.
    std::optional<std::size_t> Start(const std::vector<std::string>& arguments);
    // Hands what the children print to `take` and each end to `ended`, in the
    // order they come, and runs what is posted, until `done` holds while no
    // child's stream is open (by default: once every stream has closed).
    void Follow(
        const Take& take, const Ended& ended,
        const std::function<bool()>& done = [] { return true; });
    // Any thread: runs `routine` inside Follow, on its thread.
    void Post(std::function<void()> routine);
    // Whether an interrupt has come.
    bool Interrupted() const;

    // How a child ended: its exit status, or else how it ended otherwise
    // ("ended by signal 9").
    struct End {
        std::optional<int> exitStatus;
        std::string otherwise;
    };
    // Waits for the end of started child `i`.
    End WaitForEnd(std::size_t i);

private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};

} // namespace dedarida
