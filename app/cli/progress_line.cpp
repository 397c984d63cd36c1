#include "app/cli/progress_line.h"

#include "image/flash_image.h"

#include <algorithm>
#include <cstdio>

namespace dedarida {

namespace {

constexpr int Blocks = TxSize / 1024;
constexpr std::size_t NarrowestBar = 10;
constexpr std::size_t WidestBar = 50;

std::string Clock(double seconds) {
    const long whole = std::max(0L, static_cast<long>(seconds + 0.5));
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

std::string TimeLeft(const ProgressSnapshot& s) {
    if (!s.bytesPerSecond || *s.bytesPerSecond <= 0)
        return "-:--";
    return Clock((Blocks - s.blocksDone) * 1024.0 / *s.bytesPerSecond);
}

// Every field spelled out, for a wide terminal and for logs.
std::string LongDetails(const ProgressSnapshot& s) {
    char rate[48] = "    - B/s";
    if (s.bytesPerSecond)
        std::snprintf(rate, sizeof rate, "%5.0f B/s (%3.0f%% of 38400 baud)", *s.bytesPerSecond,
                      100.0 * *s.bytesPerSecond / LineLimitBytesPerSecond);
    char text[256];
    std::snprintf(text, sizeof text, "%3d%%  block %2d/%d  %s  %s elapsed  %s left  %s",
                  s.Percent(), s.blocksSent, Blocks, rate, Clock(s.elapsedSeconds).c_str(),
                  TimeLeft(s).c_str(), s.step.c_str());
    return text;
}

// The same fields in short, for an 80-column terminal.
std::string ShortDetails(const ProgressSnapshot& s) {
    char rate[32] = "   -B/s   -";
    if (s.bytesPerSecond)
        std::snprintf(rate, sizeof rate, "%4.0fB/s %3.0f%%", *s.bytesPerSecond,
                      100.0 * *s.bytesPerSecond / LineLimitBytesPerSecond);
    char text[160];
    std::snprintf(text, sizeof text, "%3d%% %2d/%d %s %s -%s %s", s.Percent(), s.blocksSent, Blocks,
                  rate, Clock(s.elapsedSeconds).c_str(), TimeLeft(s).c_str(), s.step.c_str());
    return text;
}

} // namespace

std::string ProgressLine(const ProgressSnapshot& snapshot, std::size_t width) {
    std::string details = LongDetails(snapshot);
    // "[" bar "] " details
    if (width < details.size() + NarrowestBar + 3)
        details = ShortDetails(snapshot);
    if (width < details.size() + NarrowestBar + 3)
        return details.substr(0, width);
    const std::size_t bar = std::min(width - details.size() - 3, WidestBar);
    const std::size_t filled = bar * static_cast<std::size_t>(snapshot.Percent()) / 100;
    std::string line;
    line.reserve(bar + details.size() + 3);
    line.append(1, '[').append(filled, '#').append(bar - filled, '.').append("] ").append(details);
    return line;
}

std::string ProgressLogLine(const ProgressSnapshot& snapshot) {
    return "progress: " + LongDetails(snapshot);
}

} // namespace dedarida
