#include "app/cli/summary_table.h"

#include "text/printable_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace dedarida {

namespace {

using Cells = std::array<std::string, 5>;

Cells CellsOf(const std::string& port, const UpgradeSummary& s) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", s.seconds);
    char rate[48] = "-";
    if (s.bytesPerSecond)
        std::snprintf(rate, sizeof rate, "%.0f B/s (%.0f%%)", *s.bytesPerSecond,
                      100.0 * *s.bytesPerSecond / LineLimitBytesPerSecond);
    return {port, s.identity.empty() ? "-" : Printable(s.identity),
            s.result + " (exit " + std::to_string(s.exitStatus) + ")", time, rate};
}

} // namespace

std::string SummaryTable(const std::vector<std::pair<std::string, UpgradeSummary>>& rows) {
    std::vector<Cells> table = {{"port", "identity", "result", "time", "data rate"}};
    for (const auto& [port, summary] : rows)
        table.push_back(CellsOf(port, summary));
    std::array<std::size_t, 5> width{};
    for (const auto& cells : table)
        for (std::size_t c = 0; c < cells.size(); ++c)
            width[c] = std::max(width[c], cells[c].size());
    std::string text;
    for (const auto& cells : table) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            line += cells[c];
            if (c + 1 < cells.size())
                line += std::string(width[c] - cells[c].size() + 2, ' ');
        }
        text += line + "\n";
    }
    return text;
}

} // namespace dedarida
