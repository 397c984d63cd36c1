#pragma once

#include "link/receive_framer.h"
#include "upgrade/reply_match.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace dedarida {

// Writes every frame sent and received, one line each: wall-clock time,
// seconds since the trace began, direction, line speed, the bytes in hex and
// what they mean. Thread-safe; each line is flushed as it is written.
//
//   16:40:01.123456 +0.000512 TX  4800 | 55 30 3F 02 03 C9 | identity request
class TrafficTrace {
public:
    // Opens (creates or truncates) `path` (UTF-8); raises std::system_error on
    // failure.
    explicit TrafficTrace(const std::string& path);
    ~TrafficTrace();
    TrafficTrace(const TrafficTrace&) = delete;
    TrafficTrace& operator=(const TrafficTrace&) = delete;

    // A request as written to the line (stuffed, framed).
    void Sent(const std::uint8_t* bytes, std::size_t count, std::uint32_t baud);
    // A reply as the framer assembled it: a bootloader body without framing
    // and stuffing (`bootMode`), or a whole application frame, of `count`
    // bytes (at most the frame's size).
    void Received(const TRxFrame& frame, std::size_t count, bool bootMode, std::uint32_t baud);
    // The bootloader reply just received was not acted on, and why.
    // `answered`: the command it names; `lastCommand`: the request written last.
    void ReplyDiscarded(ReplyMismatch why, std::uint8_t answered, std::uint8_t lastCommand,
                        std::uint32_t baud);

    // An application command the link dropped instead of writing it.
    void AppCommandDropped(std::uint8_t code, std::uint32_t baud);
    // A line of its own, "# " and `text`: what the trace is of, how it ended.
    void Note(const std::string& text);

    // Why a line could not be written (a full disk): the first such error's
    // text, or empty while every line went out.
    std::string WriteError() const;

private:
    void Line(const char* direction, std::uint32_t baud, const std::uint8_t* bytes,
              std::size_t count, const std::string& meaning);

    // With mutex_ held: notes the stream's error, if it has one.
    void CheckWritten();

    std::FILE* file_;
    int writeError_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    mutable std::mutex mutex_;
};

} // namespace dedarida
