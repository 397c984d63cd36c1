#include "app/headless/port_supervisor.h"

#include "app/headless/checked_write.h"
#include "app/headless/progress_output.h"
#include "app/headless/summary_table.h"
#include "app/headless/unit_runner.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace dedarida {

namespace {

std::string TracePathFor(const std::string& trace, std::string port) {
    std::replace(port.begin(), port.end(), '/', '_');
    return trace + "." + port;
}

std::vector<std::string> ChildArguments(const HeadlessOptions& options, const std::string& port) {
    std::vector<std::string> arguments = {"--upgrade", "--supervised",
                                          "--port",    port,
                                          "--timeout", std::to_string(options.timeout.count())};
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
        : options_(options), rows_(options.ports.size()),
          output_(out, ProgressOutput::StyleFor(out, options.quiet, false), options.ports),
          runner_(output_, [this](std::size_t row, const UpgradeSummary& summary,
                                  const std::string& record) {
              rows_[row] = {summary, record};
          }) {}

    int Run() {
        for (std::size_t i = 0; i < options_.ports.size(); ++i)
            runner_.Launch(i, options_.ports[i], ChildArguments(options_, options_.ports[i]));
        runner_.Run();
        return Report();
    }

private:
    struct Row {
        UpgradeSummary summary;
        std::string record;
    };

    int Report() {
        std::vector<std::pair<std::string, UpgradeSummary>> table;
        for (std::size_t i = 0; i < rows_.size(); ++i)
            table.emplace_back(options_.ports[i], rows_[i].summary);
        if (output_.GetStyle() != ProgressOutput::Style::Quiet)
            output_.Text(std::string("\n").append(SummaryTable(table)));
        if (options_.json) {
            std::string records;
            for (std::size_t i = 0; i < rows_.size(); ++i)
                records += (i == 0 ? "[\n  " : ",\n  ") + rows_[i].record;
            if (const std::string error = WriteChecked(stdout, records + "\n]\n"); !error.empty()) {
                output_.Diagnostic("dedarida: the JSON records could not be written (" + error +
                                   ")");
                return OutputErrorStatus;
            }
        }
        for (const auto& [port, summary] : table)
            if (summary.exitStatus != 0)
                return summary.exitStatus;
        return 0;
    }

    const HeadlessOptions& options_;
    std::vector<Row> rows_;
    ProgressOutput output_;
    UnitRunner runner_;
};

} // namespace

int SuperviseUpgrades(const HeadlessOptions& options, std::FILE* out) {
    return Supervisor(options, out).Run();
}

} // namespace dedarida
