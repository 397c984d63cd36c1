#include "sim/transcript.h"

#include <stdexcept>

namespace dedarida::sim {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

std::string_view DirectionName(Direction direction) {
    switch (direction) {
    case Direction::ToDevice:
        return "in";
    case Direction::FromDevice:
        return "out";
    case Direction::Event:
        break;
    }
    return "event";
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        hex += HexDigits[b >> 4];
        hex += HexDigits[b & 0x0F];
    }
    return hex;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            const auto code = static_cast<unsigned char>(c);
            out += "\\u00";
            out += HexDigits[code >> 4];
            out += HexDigits[code & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

std::string ToJsonLine(const TranscriptEntry& entry) {
    std::string line = "{\"t_us\":" + std::to_string(entry.time.count()) + ",\"dir\":\"";
    line += DirectionName(entry.direction);
    line += "\",\"baud\":" + std::to_string(entry.baud) + ",\"bytes\":\"" + entry.bytes +
            "\",\"meaning\":";
    AppendJsonString(line, entry.meaning);
    line += '}';
    return line;
}

Transcript::Transcript(const std::string& path) {
    if (!path.empty()) {
        file_.open(path, std::ios::out | std::ios::trunc);
        if (!file_) {
            throw std::runtime_error("cannot write the transcript to " + path);
        }
    }
}

void Transcript::Add(std::chrono::microseconds time, Direction direction, unsigned baud,
                     std::span<const std::uint8_t> bytes, std::string_view meaning) {
    TranscriptEntry entry{time, direction, baud, Hex(bytes), std::string(meaning)};
    const std::lock_guard lock(mutex_);
    if (file_.is_open()) {
        file_ << ToJsonLine(entry) << '\n' << std::flush;
    }
    entries_.push_back(std::move(entry));
}

std::vector<TranscriptEntry> Transcript::Entries() const {
    const std::lock_guard lock(mutex_);
    return entries_;
}

} // namespace dedarida::sim
