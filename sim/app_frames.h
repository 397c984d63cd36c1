#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace dedarida::sim {

// The longest application reply: 55 3F 30 L 5D code, 38 text bytes, checksum.
inline constexpr std::size_t AppReplyTextMax = 38;
inline constexpr std::size_t AppReplyMax = AppReplyTextMax + 7;

// Assembles the tool's 6-byte command frames (55 30 3F 02 code checksum) byte by byte.
// A byte that breaks the frame, or a wrong checksum, drops the frame silently.
class AppRequestParser {
public:
    // The command code when `byte` completes a good frame.
    std::optional<std::uint8_t> Feed(std::uint8_t byte);
    void Reset() { count_ = 0; }
    bool Hunting() const { return count_ == 0; }

private:
    std::array<std::uint8_t, 6> frame_{};
    std::size_t count_ = 0;
};

// Writes 55 3F 30 L 5D code text checksum into `out`, L = text length + 3, and returns the
// frame length. The text must fit AppReplyTextMax (throws std::length_error otherwise).
std::size_t BuildAppReply(std::uint8_t code, std::string_view text,
                          std::span<std::uint8_t, AppReplyMax> out);

} // namespace dedarida::sim
