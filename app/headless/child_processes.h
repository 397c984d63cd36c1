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
// An interrupt (Ctrl-C) while they run reaches every one of them, and does
// not end this process: it waits for theirs. Construct it before any other
// thread starts (see SignalWatcher).
class ChildProcesses {
public:
    enum class Stream { Output, Errors };
    // What a child printed on one of its streams.
    using Take = std::function<void(std::size_t child, Stream stream, std::string_view bytes)>;

    explicit ChildProcesses(std::size_t count);
    ~ChildProcesses();
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Starts child `i` with `arguments` (the first is its name); false when
    // it cannot be started.
    bool Start(std::size_t i, const std::vector<std::string>& arguments);
    // Hands what the started children print to `take`, in the order it
    // comes, until every one has closed both streams.
    void Follow(const Take& take);
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
