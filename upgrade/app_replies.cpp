#include "text/ascii_case.h"
#include "upgrade/programmer.h"
#include "upgrade/status_texts.h"

#include <algorithm>

namespace dedarida {

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

void Programmer::InterpretAppReply() {
    const auto& frame = link_->RxFrame();
    const std::int32_t length = link_->RxFrameLength();
    if (!Link::FrameChecksumOk(static_cast<std::uint8_t>(length), frame) ||
        frame[AppReplyKindIndex] != AppTextReplyKind)
        return;
    silentTicks_ = -1;

    if (length > static_cast<std::int32_t>(AppReplyTextStart)) {
        const std::size_t count =
            std::min<std::size_t>(length - AppReplyTextStart,
                                  std::min(ReplyText.size(), frame.size() - AppReplyTextStart));
        std::copy_n(frame.begin() + AppReplyTextStart, count, ReplyText.begin());
        LastReply.assign(frame.begin() + AppReplyTextStart,
                         frame.begin() + AppReplyTextStart + static_cast<std::ptrdiff_t>(count));
    } else {
        LastReply.clear();
    }

    const std::string upper = AsciiUpper(ReplyText);
    if (Contains(upper, "CONNECTION")) {
        window_.SetPanelText(1, "CONNECTED");
    } else if (Contains(upper, "FW ID  V3.") || Contains(upper, "FW ID  V4.")) {
        TargetVersion = "v4.5";
        pause_(std::chrono::milliseconds(200));
        StartBootSequence1Click();
    } else if (Contains(upper, "FW ID  V2.")) {
        TargetVersion = "v2.7";
        window_.ShowMessage(MessageKind::Information, "You can not update this device !");
    } else if (Contains(upper, "FW ID  V")) {
        window_.ShowMessage(MessageKind::Information, "Unknown device !");
    } else if (Contains(ReplyText, "GOING OFFLINE")) {
        std::string status;
        ProgrammerStatusStr(BootMode, status);
        {
            std::lock_guard lock(portMutex_);
            SetMode(BootMode);
        }
        window_.SetPanelText(1, status);
        window_.SetPanelText(1, ReplyText);
        TickCounter = 0;
        link_->LastAppCommand = 0xFF;
        link_->ClearRxBuffer();
        window_.SetStartEnabled(false);
    } else if (Contains(ReplyText, "READY TO UPGRADE")) {
        ReadyDelay = 2;
        OfflineRequestPending = 1;
        window_.SetPanelText(1, ReplyText);
    } else if (Contains(ReplyText, "NUM_PAIRED_DEV_RESP") ||
               Contains(ReplyText, "BT_STATUS_RESP")) {
        window_.SetStartEnabled(true);
    }
}

} // namespace dedarida
