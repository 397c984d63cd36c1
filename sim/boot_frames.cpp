#include "sim/boot_frames.h"

#include "sim/checksum.h"

namespace dedarida::sim {

BootRequestParser::Result BootRequestParser::Feed(std::uint8_t byte) {
    switch (state_) {
    case State::Hunt:
        if (byte == Dle) {
            state_ = State::Start;
        }
        return Result::None;
    case State::Start:
        if (byte == 0x04) {
            size_ = 0;
            state_ = State::Body;
        } else if (byte != Dle) {
            state_ = State::Hunt;
        }
        return Result::None;
    case State::Body:
        if (byte == Dle) {
            state_ = State::BodyDle;
            return Result::None;
        }
        break;
    case State::BodyDle:
        if (byte == 0x05) {
            state_ = State::Hunt;
            return Finish();
        }
        if (byte != Dle) {
            state_ = byte == 0x04 ? State::Body : State::Hunt;
            size_ = 0;
            return Result::Rejected;
        }
        state_ = State::Body;
        break;
    }
    if (size_ == body_.size()) {
        state_ = State::Hunt;
        return Result::Rejected;
    }
    body_[size_++] = byte;
    return Result::None;
}

BootRequestParser::Result BootRequestParser::Finish() {
    if (size_ < 4) {
        return Result::Rejected;
    }
    const std::size_t length = body_[0] | (static_cast<std::size_t>(body_[1]) << 8);
    if (length != size_ || Checksum(std::span(body_).first(size_ - 1)) != body_[size_ - 1]) {
        return Result::Rejected;
    }
    return Result::Request;
}

std::size_t BuildBootReply(std::uint8_t command, std::uint8_t status,
                           std::span<std::uint8_t, BootReplyMax> out, std::uint8_t checksumDelta) {
    std::array<std::uint8_t, BootReplyBody> body = {BootReplyBody, 0x00, command, status, 0};
    body[4] = static_cast<std::uint8_t>(Checksum(std::span(body).first(4)) + checksumDelta);
    std::size_t size = 0;
    out[size++] = Dle;
    out[size++] = 0x02;
    for (const std::uint8_t b : body) {
        out[size++] = b;
        if (b == Dle) {
            out[size++] = Dle;
        }
    }
    out[size++] = Dle;
    out[size++] = 0x03;
    return size;
}

} // namespace dedarida::sim
