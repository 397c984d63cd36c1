#include "upgrade/reply_match.h"

#include "link/protocol.h"

namespace dedarida {

ReplyMismatch MatchBootReply(std::span<const std::uint8_t> body, const BootRequestState& request) {
    if (body.size() < static_cast<std::size_t>(BootReplyMinLength))
        return ReplyMismatch::TooShort;
    if (!request.answerDue)
        return ReplyMismatch::NoneDue;
    if (request.frameBeforeRequest)
        return ReplyMismatch::BeforeRequest;
    if (body[BootReplyCommandIndex] != request.lastCommand)
        return ReplyMismatch::OtherCommand;
    return ReplyMismatch::None;
}

} // namespace dedarida
