#include "app/headless/port_supervisor.h"

#include "app/headless/child_processes.h"
#include "app/headless/printable_text.h"
#include "app/headless/progress_output.h"
#include "app/headless/summary_table.h"
#include "app/headless/supervised_lines.h"
#include "app/headless/terminal.h"
#include "app/headless/upgrade_report.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida {

namespace {

// What one port's upgrade has said so far.
struct Child {
    std::string port;
    bool started = false;
    std::string partialLine; // of its standard error: lines to show and live lines
    std::string recordText;  // its standard output: the JSON record
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

class Supervisor {
public:
    Supervisor(const HeadlessOptions& options, std::FILE* out)
        : options_(options), children_(std::make_unique<Child[]>(options.ports.size())),
          count_(options.ports.size()), processes_(count_),
          output_(out, ProgressOutput::StyleFor(out, options.quiet, false), options.ports),
          out_(out) {}

    int Run() {
        for (std::size_t i = 0; i < count_; ++i) {
            children_[i].port = options_.ports[i];
            children_[i].started = processes_.Start(i, ChildArguments(options_, options_.ports[i]));
            if (!children_[i].started)
                output_.Event(i, "error: the upgrade's process cannot be started");
        }
        processes_.Follow(
            [this](std::size_t i, ChildProcesses::Stream stream, std::string_view bytes) {
                Child& child = children_[i];
                if (stream == ChildProcesses::Stream::Output) {
                    child.recordText += bytes;
                    // The record is the child's last word: its result can show
                    // while the others go on.
                    if (!child.summary && child.recordText.ends_with('\n'))
                        if (const auto summary = ParseRecord(child.recordText))
                            output_.Result(i, ResultLine(summary->result, summary->exitStatus,
                                                         summary->notes));
                    return;
                }
                child.partialLine += bytes;
                TakeLines(i);
            });
        for (std::size_t i = 0; i < count_; ++i)
            Reap(i);
        return Report();
    }

private:
    void TakeLines(std::size_t i) {
        Child& child = children_[i];
        std::size_t end;
        while ((end = child.partialLine.find('\n')) != std::string::npos) {
            const std::string line = child.partialLine.substr(0, end);
            child.partialLine.erase(0, end + 1);
            if (const auto snapshot = ParseLiveLine(line))
                output_.Update(i, *snapshot);
            else
                output_.Event(i, Printable(line));
        }
    }

    // Waits for the child's end. Its row is its record with the exit status
    // the process really ended with; a child that ended without a record, or
    // with a status its record does not give, counts as crashed, with a record
    // of its own.
    void Reap(std::size_t i) {
        Child& child = children_[i];
        if (!child.started) {
            Crashed(i);
            return;
        }
        const ChildProcesses::End end = processes_.WaitForEnd(i);
        if (const auto summary = ParseRecord(child.recordText);
            summary && end.exitStatus == summary->exitStatus) {
            child.summary = summary;
            return;
        }
        output_.Event(i, "error: the upgrade's process " +
                             (end.exitStatus ? "ended without its result (exit " +
                                                   std::to_string(*end.exitStatus) + ")"
                                             : end.otherwise));
        Crashed(i);
    }

    void Crashed(std::size_t i) {
        Child& child = children_[i];
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
            WriteText(out_, "\n");
            WriteText(out_, SummaryTable(rows));
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
            WriteText(stdout, records + "\n]\n");
        }
        for (const auto& [port, summary] : rows)
            if (summary.exitStatus != 0)
                return summary.exitStatus;
        return 0;
    }

    const HeadlessOptions& options_;
    std::unique_ptr<Child[]> children_;
    std::size_t count_;
    // Made before any child starts, as its interrupt handling needs.
    ChildProcesses processes_;
    ProgressOutput output_;
    std::FILE* out_;
};

} // namespace

int SuperviseUpgrades(const HeadlessOptions& options, std::FILE* out) {
    return Supervisor(options, out).Run();
}

} // namespace dedarida
