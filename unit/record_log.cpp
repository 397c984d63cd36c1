#include "unit/record_log_parts.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <thread>

namespace dedarida {

namespace {

// Short enough that an interrupt ends a wait at once, long enough that the
// tries cost nothing.
constexpr std::chrono::milliseconds TrySpacing{50};
// Other units stopped by the same interrupt hold the lock for a moment each
// to add their records; a holder that keeps it longer is not waited for.
constexpr std::chrono::milliseconds WaitAfterInterrupt{1000};
// A tail longer than any record was not left by a writer of records: the file
// is no log, and cutting it would lose what it holds.
constexpr std::uint64_t LongestTornTail = 64 * 1024;

} // namespace

std::string WaitWhileBusy(const LogWait& wait, const std::string& holder,
                          const std::function<bool()>& busy) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + wait.limit;
    bool interrupted = false;
    while (busy()) {
        const Clock::time_point now = Clock::now();
        if (!interrupted && wait.interrupted && wait.interrupted()) {
            interrupted = true;
            deadline = std::min(deadline, now + WaitAfterInterrupt);
        }
        if (now >= deadline)
            return interrupted ? "interrupted while " + holder : holder;
        std::this_thread::sleep_for(std::min<Clock::duration>(TrySpacing, deadline - now));
    }
    return {};
}

std::optional<std::uint64_t> EndOfWholeLines(std::uint64_t size, const ReadAt& readAt,
                                             std::string& error) {
    std::array<char, 4096> chunk;
    std::uint64_t end = size;
    while (end > 0 && size - end < LongestTornTail) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), end));
        const long long got = readAt(chunk.data(), count, end - count);
        if (got < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(got) != count) {
            error = "the log changed while it was read";
            return std::nullopt;
        }
        if (const std::size_t last = std::string_view(chunk.data(), count).rfind('\n');
            last != std::string_view::npos)
            return end - count + last + 1;
        end -= count;
    }
    if (end > 0) {
        error = "it ends in more than " + std::to_string(LongestTornTail / 1024) +
                " KiB without a line end, so it is no log of records";
        return std::nullopt;
    }
    return 0;
}

} // namespace dedarida
