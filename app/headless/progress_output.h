#pragma once

#include "app/headless/progress_line.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// How the headless mode shows one or several upgrades (rows) on a stream:
//   Live        a terminal: one line per row redrawn in place, events above
//   Log         a file or pipe: events, one progress line per ten percent
//   Quiet       only the result lines
//   Supervised  for a supervisor reading a pipe: events, results and every
//               progress change as a live line (one row)
// Rows are named after their ports; with several rows each line starts with
// the name. Main thread only.
class ProgressOutput {
public:
    enum class Style { Live, Log, Quiet, Supervised };
    static Style StyleFor(std::FILE* out, bool quiet, bool supervised);

    ProgressOutput(std::FILE* out, Style style, std::vector<std::string> rowNames);

    Style GetStyle() const { return style_; }
    // A row for `name`, after the others; every line of it starts with the name.
    std::size_t AddRow(const std::string& name);
    // Row `row` starts again for `name`: no progress, no result.
    void ResetRow(std::size_t row, const std::string& name);
    // A status change, message or error ("status: ..."): a line of its own.
    void Event(std::size_t row, const std::string& line);
    // A line of no row's, as it is.
    void Line(const std::string& line);
    void Update(std::size_t row, const ProgressSnapshot& snapshot);
    // The row's last line; in a live view it takes the place of the bar.
    void Result(std::size_t row, const std::string& line);

private:
    struct Row {
        std::string prefix;
        std::optional<ProgressSnapshot> shown;
        std::string result;
        int loggedTenths = 0;
    };
    void Print(std::size_t row, const std::string& line);
    // Clears the live rows, prints `above` (if any), draws the rows again.
    void Redraw(const std::string* above);
    std::size_t Width() const;

    std::FILE* out_;
    Style style_;
    std::vector<Row> rows_;
    std::size_t drawnRows_ = 0;
};

} // namespace dedarida
