#include "ports/port_diagnosis.h"
#include "upgrade/programmer.h"

#include <algorithm>

namespace dedarida {

void Programmer::Rx(TComPort&, std::int32_t) {
    // An error here would otherwise go back to the port's event thread and end
    // it silently, leaving the upgrade waiting with nothing shown.
    try {
        do {
            link_->ReceiveFrames();
            if (link_->TakeFrame()) {
                TraceReply();
                if (link_->LinkMode() == BootMode)
                    InterpretBootReply();
                else
                    InterpretAppReply();
            }
        } while (link_->MoreToReceive());
    } catch (const std::exception& error) {
        window_.ShowError(InWords(error));
    }
}

void Programmer::TraceReply() {
    TrafficTrace* trace = tracedPort_->Trace();
    if (!trace)
        return;
    // A bootloader body holds RxFrameLength bytes; an application frame ends
    // at index RxFrameLength.
    const bool bootMode = link_->LinkMode() == BootMode;
    const std::int32_t count = link_->RxFrameLength() + (bootMode ? 0 : 1);
    trace->Received(link_->RxFrame(),
                    static_cast<std::size_t>(std::clamp<std::int32_t>(count, 0, RxFrameSize)),
                    bootMode, BitsPerSecond(ComPort1_->BaudRate()));
}

// Each request gets at most one answer, and only a reply that names it: a
// late or doubled reply taken for the answer to the request written since
// would run the upgrade ahead of the device.
void Programmer::InterpretBootReply() {
    const auto& frame = link_->RxFrame();
    const std::int32_t length = link_->RxFrameLength();
    if (length < 1 || !Link::FrameChecksumOk(static_cast<std::uint8_t>(length - 1), frame))
        return;
    bootloaderHeard_ = true;
    silentTicks_ = -1;

    const auto body = std::span(frame).first(static_cast<std::size_t>(length));
    const ReplyMismatch mismatch = MatchBootReply(
        body, {link_->LastBootCommand, link_->BootAnswerDue, link_->FrameBeforeRequest()});
    if (mismatch != ReplyMismatch::None) {
        DiscardReply(mismatch, mismatch == ReplyMismatch::TooShort ? std::uint8_t{0}
                                                                   : body[BootReplyCommandIndex]);
        return;
    }
    link_->BootAnswerDue = false;

    const std::uint8_t status = body[BootReplyStatusIndex];
    switch (link_->LastBootCommand) {
    case BootPoll:
        OnPollAnswer();
        break;
    case BootEraseFlash:
        OnEraseAnswer(status);
        break;
    case BootProgram:
        OnBlockAnswer(status);
        break;
    case BootStartApplication:
        OnCheckAnswer(status);
        break;
    case BootFwId:
        OnFwIdAnswer(status);
        break;
    default:
        break;
    }
}

void Programmer::DiscardReply(ReplyMismatch why, std::uint8_t answered) {
    ++MismatchedReplies;
    if (TrafficTrace* trace = tracedPort_->Trace())
        trace->ReplyDiscarded(why, answered, link_->LastBootCommand,
                              BitsPerSecond(ComPort1_->BaudRate()));
}

} // namespace dedarida
