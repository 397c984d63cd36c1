#include "app/cli/progress_output.h"

#include "app/cli/terminal.h"
#include "fleet/unit_protocol.h"

namespace dedarida {

namespace {

constexpr std::size_t FallbackWidth = 80;
constexpr std::size_t WidestLine = 160;

} // namespace

ProgressOutput::Style ProgressOutput::StyleFor(std::FILE* out, bool quiet, bool supervised) {
    if (supervised)
        return Style::Supervised;
    if (quiet)
        return Style::Quiet;
    return IsLiveTerminal(out) ? Style::Live : Style::Log;
}

ProgressOutput::ProgressOutput(std::FILE* out, Style style, std::vector<std::string> rowNames)
    : out_(out), style_(style) {
    for (auto& name : rowNames)
        rows_.push_back({rowNames.size() > 1 ? name + ": " : std::string(), {}, {}, 0});
}

std::size_t ProgressOutput::AddRow(const std::string& name) {
    rows_.push_back({name + ": ", {}, {}, 0});
    if (style_ == Style::Live)
        Redraw(nullptr, false);
    return rows_.size() - 1;
}

void ProgressOutput::ResetRow(std::size_t row, const std::string& name) {
    rows_[row] = {name + ": ", {}, {}, 0};
    if (style_ == Style::Live)
        Redraw(nullptr, true);
}

std::size_t ProgressOutput::Width() const {
    const std::size_t width = TerminalWidth(out_);
    return width == 0 ? FallbackWidth : width;
}

std::string ProgressOutput::Noted(const std::string& text) const {
    if (droppedLines_ == 0)
        return text;
    return "note: " + std::to_string(droppedLines_) + " line" + (droppedLines_ == 1 ? "" : "s") +
           " dropped while the output was not read\n" + text;
}

bool ProgressOutput::Send(std::string text) {
    if (!writer_.Write(out_, std::move(text))) {
        ++droppedLines_;
        return false;
    }
    // The note went with it.
    droppedLines_ = 0;
    return true;
}

void ProgressOutput::Print(std::size_t row, const std::string& line) {
    Send(Noted(rows_[row].prefix + line + "\n"));
}

void ProgressOutput::Event(std::size_t row, const std::string& line) {
    if (style_ == Style::Quiet)
        return;
    if (style_ != Style::Live) {
        Print(row, line);
        return;
    }
    const std::string text = rows_[row].prefix + line;
    Redraw(&text, false);
}

void ProgressOutput::Line(const std::string& line) {
    if (style_ == Style::Quiet)
        return;
    if (style_ == Style::Live) {
        Redraw(&line, false);
        return;
    }
    Send(Noted(line + "\n"));
}

void ProgressOutput::Update(std::size_t row, const ProgressSnapshot& snapshot) {
    Row& r = rows_[row];
    if (r.shown == snapshot || !r.result.empty())
        return;
    r.shown = snapshot;
    switch (style_) {
    case Style::Live:
        Redraw(nullptr, true);
        break;
    case Style::Log:
        if (snapshot.Percent() / 10 > r.loggedTenths) {
            r.loggedTenths = snapshot.Percent() / 10;
            // Ten a row: few enough to keep each.
            Print(row, ProgressLogLine(snapshot));
        }
        break;
    case Style::Supervised:
        writer_.WriteProgress(out_, r.prefix + LiveLine(snapshot) + "\n");
        break;
    case Style::Quiet:
        break;
    }
}

void ProgressOutput::Result(std::size_t row, const std::string& line) {
    rows_[row].result = line;
    if (style_ == Style::Live)
        Redraw(nullptr, false);
    // A supervisor learns the result from the record and the exit status.
    else if (style_ != Style::Supervised)
        Print(row, line);
}

void ProgressOutput::Text(const std::string& text) {
    Send(Noted(text));
}

void ProgressOutput::Diagnostic(const std::string& line) {
    if (!writer_.Write(stderr, line + "\n"))
        ++droppedLines_;
}

void ProgressOutput::Redraw(const std::string* above, bool progressOnly) {
    // Each line is drawn narrower than the terminal was, so none has wrapped
    // and the rows start that many lines up.
    std::string text;
    if (drawnRows_ > 0)
        text = "\r\033[" + std::to_string(drawnRows_) + "A";
    text += "\r\033[J";
    const std::string note = Noted("");
    text += note;
    if (above)
        text += *above + "\n";
    const std::size_t lineWidth = std::min(Width() - 1, WidestLine);
    for (const Row& r : rows_) {
        std::string line = r.prefix;
        if (!r.result.empty())
            line += r.result;
        else if (r.shown)
            line += ProgressLine(*r.shown, lineWidth > line.size() ? lineWidth - line.size() : 0);
        else
            line += "starting";
        text += line.substr(0, lineWidth) + "\n";
    }
    // A redraw merged into a later one must start where that one does: it
    // draws as many rows as were drawn before, and adds no line above.
    if (progressOnly && drawnRows_ == rows_.size() && note.empty()) {
        writer_.WriteProgress(out_, std::move(text));
        return;
    }
    if (Send(std::move(text)))
        drawnRows_ = rows_.size();
}

} // namespace dedarida
