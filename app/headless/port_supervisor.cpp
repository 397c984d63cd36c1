#include "app/headless/port_supervisor.h"

#include "app/headless/progress_output.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/spawn_argv.h"
#include "app/headless/summary_table.h"
#include "app/headless/supervised_lines.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dedarida {

namespace {

// One port's upgrade in a process of its own.
struct Child {
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        for (const int fd : {events, record})
            if (fd >= 0)
                close(fd);
    }

    std::string port;
    pid_t pid = -1;
    int events = -1; // its standard error: lines to show, live and summary lines
    int record = -1; // its standard output: the JSON record
    std::string partialLine;
    std::string recordText;
    std::optional<UpgradeSummary> summary;
};

std::string TracePathFor(const std::string& trace, std::string port) {
    std::replace(port.begin(), port.end(), '/', '_');
    return trace + "." + port;
}

std::vector<std::string> ChildArguments(const HeadlessOptions& options, const std::string& port) {
    std::vector<std::string> arguments = {"dedarida",
                                          "--upgrade",
                                          "--supervised",
                                          "--port",
                                          port,
                                          "--timeout",
                                          std::to_string(options.timeout.count())};
    const auto add = [&](const char* option, const std::string& value) {
        if (!value.empty())
            arguments.insert(arguments.end(), {option, value});
    };
    if (options.fromBootloader)
        arguments.push_back("--from-bootloader");
    add("--firmware", options.firmwarePath);
    add("--firmware-version", options.firmwareVersion);
    if (!options.tracePath.empty())
        add("--trace", TracePathFor(options.tracePath, port));
    return arguments;
}

// Starts this executable for `child` with its output streams on pipes;
// false when it cannot be started.
bool Spawn(Child& child, const HeadlessOptions& options) {
    int events[2];
    int record[2];
    if (pipe2(events, O_CLOEXEC) != 0)
        return false;
    if (pipe2(record, O_CLOEXEC) != 0) {
        close(events[0]);
        close(events[1]);
        return false;
    }
    child.events = events[0];
    child.record = record[0];
    std::vector<std::string> arguments = ChildArguments(options, child.port);
    std::vector<char*> argv = SpawnArgv(arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, record[1], 1);
    posix_spawn_file_actions_adddup2(&actions, events[1], 2);
    const int failed =
        posix_spawn(&child.pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(events[1]);
    close(record[1]);
    if (failed != 0)
        child.pid = -1;
    return failed == 0;
}

// Takes what one of the child's streams has ready; closes it at its end.
void Drain(int& fd, std::string& into) {
    std::array<char, 4096> buffer;
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
        return;
    if (got <= 0) {
        close(fd);
        fd = -1;
        return;
    }
    into.append(buffer.data(), static_cast<std::size_t>(got));
}

class Supervisor {
public:
    Supervisor(const HeadlessOptions& options, std::FILE* out)
        : options_(options), children_(std::make_unique<Child[]>(options.ports.size())),
          count_(options.ports.size()),
          output_(out, ProgressOutput::StyleFor(out, options.quiet, false), options.ports),
          out_(out) {}

    int Run() {
        int wake[2];
        if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::system_error(errno, std::generic_category(), "pipe");
        {
            // Constructed before any child, so every child starts with the
            // signals blocked and takes them through its own watcher.
            SignalWatcher signals([fd = wake[1]] {
                const char byte = 1;
                [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
            });
            for (std::size_t i = 0; i < count_; ++i) {
                children_[i].port = options_.ports[i];
                if (!Spawn(children_[i], options_))
                    output_.Event(i, "error: the upgrade's process cannot be started");
            }
            Follow(wake[0]);
        }
        close(wake[0]);
        close(wake[1]);
        for (std::size_t i = 0; i < count_; ++i)
            Reap(i);
        return Report();
    }

private:
    // Shows what the children print until every one has closed its streams.
    void Follow(int wake) {
        std::vector<pollfd> fds;
        for (;;) {
            fds.assign(1, {wake, POLLIN, 0});
            for (std::size_t i = 0; i < count_; ++i)
                for (const int fd : {children_[i].events, children_[i].record})
                    if (fd >= 0)
                        fds.push_back({fd, POLLIN, 0});
            if (fds.size() == 1)
                return;
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                throw std::system_error(errno, std::generic_category(), "poll");
            }
            if (fds[0].revents != 0)
                StopAll(wake);
            for (std::size_t i = 0; i < count_; ++i) {
                Child& child = children_[i];
                if (Ready(fds, child.record))
                    Drain(child.record, child.recordText);
                if (Ready(fds, child.events)) {
                    Drain(child.events, child.partialLine);
                    TakeLines(i);
                }
            }
        }
    }

    static bool Ready(const std::vector<pollfd>& fds, int fd) {
        return fd >= 0 && std::any_of(fds.begin() + 1, fds.end(), [fd](const pollfd& p) {
                   return p.fd == fd && p.revents != 0;
               });
    }

    void StopAll(int wake) {
        char bytes[16];
        while (read(wake, bytes, sizeof bytes) > 0) {
        }
        for (std::size_t i = 0; i < count_; ++i)
            if (children_[i].pid > 0)
                kill(children_[i].pid, SIGINT);
    }

    void TakeLines(std::size_t i) {
        Child& child = children_[i];
        std::size_t end;
        while ((end = child.partialLine.find('\n')) != std::string::npos) {
            const std::string line = child.partialLine.substr(0, end);
            child.partialLine.erase(0, end + 1);
            if (const auto snapshot = ParseLiveLine(line)) {
                output_.Update(i, *snapshot);
            } else if (const auto summary = ParseSummaryLine(line)) {
                child.summary = summary;
                output_.Result(i, ResultLine(summary->result, summary->exitStatus));
            } else {
                output_.Event(i, line);
            }
        }
    }

    // Waits for the child's end; one that ended without its result counts as
    // crashed, with a record of its own.
    void Reap(std::size_t i) {
        Child& child = children_[i];
        int status = 0;
        if (child.pid > 0)
            while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
            }
        if (child.summary)
            return;
        if (child.pid > 0)
            output_.Event(i, WIFSIGNALED(status)
                                 ? "error: the upgrade's process ended by signal " +
                                       std::to_string(WTERMSIG(status))
                                 : "error: the upgrade's process ended without a result");
        UpgradeReport report(UpgradeReport::Identity);
        report.port = child.port;
        report.Finish(UpgradeResult::Crashed);
        child.recordText = report.Json();
        child.summary = SummaryOf(report, UpgradeResult::Crashed);
        output_.Result(i, ResultLine(child.summary->result, child.summary->exitStatus));
    }

    int Report() {
        std::vector<std::pair<std::string, UpgradeSummary>> rows;
        for (std::size_t i = 0; i < count_; ++i)
            rows.emplace_back(children_[i].port, *children_[i].summary);
        if (output_.GetStyle() != ProgressOutput::Style::Quiet) {
            std::fprintf(out_, "\n%s", SummaryTable(rows).c_str());
            std::fflush(out_);
        }
        if (options_.json) {
            std::string records;
            for (std::size_t i = 0; i < count_; ++i) {
                std::string record = children_[i].recordText;
                while (!record.empty() && record.back() == '\n')
                    record.pop_back();
                records += (i == 0 ? "[\n  " : ",\n  ") + record;
            }
            std::printf("%s\n]\n", records.c_str());
        }
        for (const auto& [port, summary] : rows)
            if (summary.exitStatus != 0)
                return summary.exitStatus;
        return 0;
    }

    const HeadlessOptions& options_;
    std::unique_ptr<Child[]> children_;
    std::size_t count_;
    ProgressOutput output_;
    std::FILE* out_;
};

} // namespace

int SuperviseUpgrades(const HeadlessOptions& options, std::FILE* out) {
    return Supervisor(options, out).Run();
}

} // namespace dedarida
