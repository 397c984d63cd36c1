#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida::sim {

inline constexpr std::uint8_t Dle = 0x10;
// Largest request body: length (2), Program (1), address (4), 1024 data bytes, checksum.
inline constexpr std::size_t BootBodyMax = 1032;
// Reply body: length (2, LSB first), echoed command, status, checksum; stuffed on the wire.
inline constexpr std::size_t BootReplyBody = 5;
inline constexpr std::size_t BootReplyMax = 4 + 2 * BootReplyBody;

// Assembles DLE 0x04 ... DLE 0x05 requests with DLE stuffing. A frame whose length field
// disagrees with its body, whose checksum is wrong, which is too long or which holds a DLE
// followed by anything but DLE or 0x05, is dropped and counted as rejected.
class BootRequestParser {
public:
    enum class Result : std::uint8_t { None, Request, Rejected };

    Result Feed(std::uint8_t byte);
    void Reset() { state_ = State::Hunt; }
    bool Hunting() const { return state_ == State::Hunt; }
    // The body of the request just completed (length through checksum, unstuffed).
    std::span<const std::uint8_t> Body() const { return std::span(body_).first(size_); }

private:
    enum class State : std::uint8_t { Hunt, Start, Body, BodyDle };
    Result Finish();

    std::array<std::uint8_t, BootBodyMax> body_{};
    std::size_t size_ = 0;
    State state_ = State::Hunt;
};

// Writes DLE 0x02, the stuffed body (05 00 command status checksum), DLE 0x03 into `out`
// and returns the frame length. `checksumDelta` is added to the checksum (0: a good one).
std::size_t BuildBootReply(std::uint8_t command, std::uint8_t status,
                           std::span<std::uint8_t, BootReplyMax> out,
                           std::uint8_t checksumDelta = 0);

} // namespace dedarida::sim
