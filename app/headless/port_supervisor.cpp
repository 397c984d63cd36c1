#include "app/headless/port_supervisor.h"

#include "app/headless/checked_write.h"
#include "app/headless/printable_text.h"
#include "app/headless/progress_output.h"
#include "app/headless/summary_table.h"
#include "app/headless/unit_runner.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dedarida {

namespace {

class Supervisor {
public:
    Supervisor(const UnitSettings& settings, std::FILE* out)
        : options_(settings.options), rows_(options_.ports.size()),
          output_(out, ProgressOutput::StyleFor(out, options_.quiet, false), RowNames(options_)),
          runner_(
              output_, settings,
              {[this](std::size_t row, const UpgradeSummary& summary, const std::string& record) {
                   rows_[row] = {summary, record};
                   output_.Result(row,
                                  ResultLine(summary.result, summary.exitStatus, summary.notes));
               },
               {}}) {}

    int Run() {
        for (std::size_t i = 0; i < options_.ports.size(); ++i)
            runner_.Launch(i, options_.ports[i], options_.ports[i]);
        runner_.Run();
        return Report();
    }

private:
    struct Row {
        UpgradeSummary summary;
        std::string record;
    };

    static std::vector<std::string> RowNames(const HeadlessOptions& options) {
        std::vector<std::string> names;
        for (const std::string& port : options.ports)
            names.push_back(Printable(port));
        return names;
    }

    int Report() {
        std::vector<std::pair<std::string, UpgradeSummary>> table;
        for (std::size_t i = 0; i < rows_.size(); ++i)
            table.emplace_back(Printable(options_.ports[i]), rows_[i].summary);
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

int SuperviseUpgrades(const UnitSettings& settings, std::FILE* out) {
    return Supervisor(settings, out).Run();
}

} // namespace dedarida
