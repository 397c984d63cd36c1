#pragma once

#include "app/cli/progress_line.h"
#include "app/cli/text_writer.h"

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
// the name. Nothing waits for the reader (see TextWriter): while it lags,
// live progress (the bar, a supervisor's live lines) is merged, and the rest
// comes out whole and in order once it reads again; the end waits for it only
// so long. Main thread only.
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
    // `text` as it is, below the rest, in every style (a closing summary).
    void Text(const std::string& text);
    // A line for standard error ("dedarida: ..."), in turn with the rest.
    void Diagnostic(const std::string& line);

private:
    struct Row {
        std::string prefix;
        std::optional<ProgressSnapshot> shown;
        std::string result;
        int loggedTenths = 0;
    };
    void Print(std::size_t row, const std::string& line);
    // Clears the live rows, prints `above` (if any), draws the rows again;
    // only a redraw of progress may be merged with the next.
    void Redraw(const std::string* above, bool progressOnly);
    // `text` after a line on what was dropped before it, if anything was.
    std::string Noted(const std::string& text) const;
    // Queues `text` whole; false when it was dropped.
    bool Send(std::string text);
    std::size_t Width() const;

    std::FILE* out_;
    Style style_;
    std::vector<Row> rows_;
    std::size_t drawnRows_ = 0;
    std::size_t droppedLines_ = 0;
    TextWriter writer_;
};

} // namespace dedarida
