#pragma once

#include <cstdint>
#include <span>

namespace dedarida {

// Why a bootloader reply is not the answer to the request written last.
enum class ReplyMismatch : std::uint8_t {
    None,          // it is the answer
    TooShort,      // it names no request or carries no status
    NoneDue,       // no request is waiting for an answer: none written, or answered already
    BeforeRequest, // it began to arrive before the request was written
    OtherCommand,  // it answers another request
};

// What the link knows of the bootloader request written last.
struct BootRequestState {
    std::uint8_t lastCommand = 0;
    bool answerDue = false;
    bool frameBeforeRequest = false;
};

// `body`: a reply body whose checksum holds, checksum included.
ReplyMismatch MatchBootReply(std::span<const std::uint8_t> body, const BootRequestState& request);

} // namespace dedarida
