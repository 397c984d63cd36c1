#include "sim/app_frames.h"

#include "sim/checksum.h"

#include <stdexcept>

namespace dedarida::sim {

namespace {

constexpr std::array<std::uint8_t, 4> RequestHead = {0x55, 0x30, 0x3F, 0x02};

} // namespace

std::optional<std::uint8_t> AppRequestParser::Feed(std::uint8_t byte) {
    if (count_ < RequestHead.size() && byte != RequestHead[count_]) {
        // A start byte inside a broken frame may begin the next one.
        count_ = 0;
        if (byte != RequestHead[0]) {
            return std::nullopt;
        }
    }
    frame_[count_++] = byte;
    if (count_ < frame_.size()) {
        return std::nullopt;
    }
    count_ = 0;
    if (Checksum(std::span(frame_).first(5)) != frame_[5]) {
        return std::nullopt;
    }
    return frame_[4];
}

std::size_t BuildAppReply(std::uint8_t code, std::string_view text,
                          std::span<std::uint8_t, AppReplyMax> out) {
    if (text.size() > AppReplyTextMax) {
        throw std::length_error("application reply text longer than 38 characters");
    }
    out[0] = 0x55;
    out[1] = 0x3F;
    out[2] = 0x30;
    out[3] = static_cast<std::uint8_t>(text.size() + 3);
    out[4] = 0x5D;
    out[5] = code;
    std::size_t size = 6;
    for (const char c : text) {
        out[size++] = static_cast<std::uint8_t>(c);
    }
    out[size] = Checksum(out.first(size));
    return size + 1;
}

} // namespace dedarida::sim
