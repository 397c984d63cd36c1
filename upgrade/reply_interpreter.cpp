#include "link/boot_command.h"
#include "upgrade/programmer.h"
#include "upgrade/status_texts.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace dedarida {

namespace {

constexpr std::uint8_t StatusDone = 0x00;
constexpr std::uint8_t StatusFailed = 0x01;
constexpr std::uint8_t StatusCommandError = 0xFD;
constexpr std::uint8_t TextReplyKind = 0x5D;
// Body index of the status byte; a reply must reach past it to carry one.
constexpr std::int32_t StatusIndex = 3;
constexpr std::size_t TextStart = 6;

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

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
        window_.ShowError(error.what());
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
                    bootMode, link_->LastBootCommand, BitsPerSecond(ComPort1_->BaudRate()));
}

void Programmer::InterpretBootReply() {
    const auto& frame = link_->RxFrame();
    const std::int32_t length = link_->RxFrameLength();
    if (length < 1 || !Link::FrameChecksumOk(static_cast<std::uint8_t>(length - 1), frame))
        return;

    const std::uint8_t command = link_->LastBootCommand;
    if (command == BootPoll) {
        PollAnswered = 1;
        SendCode();
        return;
    }
    // A reply too short to hold a status says nothing about the request: a
    // status byte left from an earlier reply must never count as its answer.
    if (length <= StatusIndex + 1)
        return;
    const std::uint8_t status = frame[StatusIndex];

    switch (command) {
    case BootEraseFlash:
        if (status == StatusDone) {
            window_.SetPanelText(1, " Flash erase OK");
            link_->SendDataBlock();
        } else if (status == StatusFailed) {
            window_.SetPanelText(1, "Send Data Fail");
        }
        break;
    case BootProgram:
        if (status == StatusDone) {
            window_.SetProgress(link_->BlockPosition * 100 / 0x16000);
        } else if (status == StatusFailed) {
            window_.SetPanelText(1, "Verify error");
        } else if (status == StatusCommandError) {
            DisplayCmdErr(BootProgram);
        } else {
            break;
        }
        link_->SendDataBlock();
        break;
    case BootStartApplication:
        if (status == StatusDone) {
            window_.SetPanelText(1, "Programmed OK");
            window_.SetProgress(0);
            window_.ShowMessage(MessageKind::Information, "System Programmed OK  " + TargetVersion);
            SwitchStatus1Click();
            window_.SetStartEnabled(true);
            break;
        }
        if (status == StatusCommandError)
            DisplayCmdErr(BootStartApplication);
        else if (status == StatusFailed)
            window_.SetPanelText(1, "Program Fail");
        window_.ShowMessage(MessageKind::Error, "System Program Fail");
        break;
    case BootFwId:
        if (status == StatusDone)
            window_.SetPanelText(1, "FW id: ");
        break;
    default:
        break;
    }
}

void Programmer::InterpretAppReply() {
    const auto& frame = link_->RxFrame();
    const std::int32_t length = link_->RxFrameLength();
    if (!Link::FrameChecksumOk(static_cast<std::uint8_t>(length), frame) ||
        frame[4] != TextReplyKind)
        return;

    if (length > static_cast<std::int32_t>(TextStart)) {
        const std::size_t count = std::min<std::size_t>(
            length - TextStart, std::min(ReplyText.size(), frame.size() - TextStart));
        std::copy_n(frame.begin() + TextStart, count, ReplyText.begin());
    }

    const std::string upper = UpperCase(ReplyText);
    if (Contains(upper, "CONNECTION")) {
        window_.SetPanelText(1, "CONNECTED");
    } else if (Contains(upper, "FW ID  V3.") || Contains(upper, "FW ID  V4.")) {
        TargetVersion = "v4.5";
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
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
