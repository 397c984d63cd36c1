#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida::sim {

enum class Direction : std::uint8_t {
    ToDevice,   // a frame the tool sent ("in")
    FromDevice, // a frame the device sent ("out")
    Event,      // something the device did or saw without a frame ("event")
};

struct TranscriptEntry {
    std::chrono::microseconds time; // since the device started
    Direction direction;
    unsigned baud;       // the line speed of the frame (the device's speed for events)
    std::string bytes;   // upper-case hex, no separators
    std::string meaning; // e.g. "Program 0x0E8800", "status 0"
};

// One JSON object per line, e.g.
// {"t_us":1200,"dir":"in","baud":4800,"bytes":"55303F0203C9","meaning":"identity request"}
std::string ToJsonLine(const TranscriptEntry& entry);

// Every frame in both directions, kept in memory and, when a path is given, appended to a
// file as JSON lines. Thread safe.
class Transcript {
public:
    explicit Transcript(const std::string& path);

    void Add(std::chrono::microseconds time, Direction direction, unsigned baud,
             std::span<const std::uint8_t> bytes, std::string_view meaning);
    std::vector<TranscriptEntry> Entries() const;

private:
    mutable std::mutex mutex_;
    std::vector<TranscriptEntry> entries_;
    std::ofstream file_;
};

} // namespace dedarida::sim
