#include "upgrade/programmer.h"

#include "ports/port_diagnosis.h"
#include "upgrade/status_texts.h"
#include "upgrade/timer.h"

namespace dedarida {

namespace {

// Two unanswered polls, or a few seconds of an unanswered START.
constexpr std::int32_t SilentTicksNoticed = 6;

std::string PortText(const TComPort& port) {
    return "COM: " + std::to_string(port.Port() + 1);
}

} // namespace

Programmer::Programmer(ProgrammerWindow& window, MainThread& main, DriverFactory makeDriver)
    : window_(window), main_(main), makeDriver_(std::move(makeDriver)) {}

Programmer::~Programmer() {
    CloseAll();
}

void Programmer::Init(bool startTicking) {
    ComPort1_ = makeDriver_ ? std::make_unique<TComPort>(main_, makeDriver_())
                            : std::make_unique<TComPort>(main_);
    ComPort1_->SetOnRxChar([this](TComPort& Sender, std::int32_t InQue) { Rx(Sender, InQue); });
    // Closing inside the port's own delivery would wait for itself: later.
    ComPort1_->SetOnLineLost([this](TComPort&) { LineLost(); });
    ComPort1_->SetSyncMethod(TSyncMethod::smSynchronize);
    ComPort1_->SetWriteBufSize(2048);
    ComPort1_->SetReadBufSize(2048);
    ComPort1_->SetBaudRate(TBaudRate::br4800);
    tracedPort_ = std::make_unique<TracedPort>(*ComPort1_);
    link_ = std::make_unique<Link>(*tracedPort_, FlashImage_, window_, main_);

    TickEvent.Reset();
    if (startTicking)
        timer_ = std::make_unique<Timer>(*this, window_, main_);
    window_.SetTimerEnabled(true);

    link_->SetLinkMode(AppMode);
    std::string status;
    ProgrammerStatusStr(AppMode, status);
    window_.SetPanelText(1, status);
    ReplyText = std::string(40, ' ');
    PollAnswered = 0;
    TickCounter = 0;
    link_->ClearRxBuffer();
}

void Programmer::CloseAll() {
    if (timer_) {
        timer_->Stop();
        timer_.reset();
    }
    if (ComPort1_) {
        ComPort1_->AbortAll();
        ComPort1_->Close();
    }
}

bool Programmer::OpenIfNeeded(OpenFailure onFailure) {
    std::lock_guard lock(portMutex_);
    if (ComPort1_->Connected())
        return true;
    try {
        ComPort1_->Open();
    } catch (const EComPort&) {
        if (onFailure == OpenFailure::Raise)
            throw;
        window_.SetPanelText(0, "COM: unable to open");
        return false;
    }
    PortOpened();
    return true;
}

void Programmer::PortOpened() {
    window_.SetPanelText(0, PortText(*ComPort1_));
    if (openProblem_.empty())
        return;
    // The problem panel 1 shows is over.
    openProblem_.clear();
    std::string status;
    ProgrammerStatusStr(link_->LinkMode(), status);
    window_.SetPanelText(1, status);
}

void Programmer::LoadFw() {
    window_.SetProgress(0);
    dedarida::LoadFw(FlashImage_, firmware_);
}

void Programmer::SetFirmware(std::span<const std::uint8_t, TxSize> image, std::string version) {
    firmware_ = image;
    firmwareVersion_ = std::move(version);
}

void Programmer::Button1Click() {
    LoadFw();
    if (!OpenIfNeeded(OpenFailure::Report))
        return;
    // A bootloader that has said nothing since the switch is most likely not
    // running (SendProgram chosen before the device went offline): ask the
    // application again.
    if (link_->LinkMode() == BootMode && !bootloaderHeard_)
        SetMode(AppMode);
    if (SendAppCommand(AppCommandIdentity))
        silentTicks_ = 0;
}

void Programmer::StartBootSequence1Click() {
    if (!OpenIfNeeded(OpenFailure::Report))
        return;
    window_.SetPanelText(1, "START UPGRADE");
    SendAppCommand(AppCommandStartUpgrade);
    PollAnswered = 0;
}

void Programmer::SendPoll() {
    ComPort1_->AbortAll();
    link_->ClearRxBuffer();
    link_->EndOfImage = 0;
    link_->BlockPosition = 0;
    OpenIfNeeded(OpenFailure::Raise);
    link_->SendBootCommand(BootPoll);
}

void Programmer::SendCode() {
    TickEvent.Reset();
    ComPort1_->AbortAll();
    link_->ClearRxBuffer();
    link_->EndOfImage = 0;
    link_->BlockPosition = 0;
    OpenIfNeeded(OpenFailure::Raise);
    LoadFw();
    SetMode(BootMode);
    link_->SendBootCommand(BootEraseFlash);
}

void Programmer::SetMode(std::uint8_t mode) {
    std::lock_guard lock(portMutex_);
    if (link_->LinkMode() != mode) {
        link_->SetLinkMode(mode);
        bootloaderHeard_ = false;
        silentTicks_ = mode == BootMode ? 0 : -1;
    }
    ComPort1_->SetBaudRate(mode == BootMode ? TBaudRate::br38400 : TBaudRate::br4800);
}

bool Programmer::SendAppCommand(std::uint8_t code) {
    if (link_->SendAppCommand(code))
        return true;
    if (TrafficTrace* trace = tracedPort_->Trace())
        trace->AppCommandDropped(code, BitsPerSecond(ComPort1_->BaudRate()));
    return false;
}

void Programmer::SwitchStatus1Click() {
    std::lock_guard lock(portMutex_);
    SetMode(link_->LinkMode() == AppMode ? BootMode : AppMode);
}

void Programmer::PortSetup() {
    window_.SetTimerEnabled(false);
    TickEvent.Reset();
    try {
        {
            std::lock_guard lock(portMutex_);
            ComPort1_->AbortAll();
            ComPort1_->Close();
        }
        window_.ShowPortDialog(*ComPort1_);
    } catch (...) {
        window_.SetTimerEnabled(true);
        throw;
    }
    window_.SetTimerEnabled(true);
}

void Programmer::Timeout() {
    TickEvent.Set();
}

// The line has gone (a hang-up, an adapter pulled out) while the tool waits
// for replies that cannot come. Closing lets the next tick open the line
// again once the device is back; it starts in its application, so the link
// goes back to application mode and START is offered again.
void Programmer::LineLost() {
    {
        std::lock_guard lock(portMutex_);
        ComPort1_->Close();
        SetMode(AppMode);
    }
    window_.SetPanelText(0, "COM: busy");
    window_.SetStartEnabled(true);
    // Lost again while its box is open: that box says it already.
    if (lineLostShown_)
        return;
    lineLostShown_ = true;
    struct Answered {
        bool& shown;
        ~Answered() { shown = false; }
    } answered{lineLostShown_};
    window_.ShowError("Operation failed: the line to the device was lost");
}

void Programmer::SetTrace(TrafficTrace* trace) {
    tracedPort_->SetTrace(trace);
}

void Programmer::DisplayCmdErr(int code) {
    window_.SetPanelText(1, "Command " + std::to_string(code) + " Error");
}

void Programmer::Tick() {
    TickEvent.Reset();
    {
        std::lock_guard lock(portMutex_);
        if (!ComPort1_->Connected()) {
            try {
                ComPort1_->Open();
                PortOpened();
            } catch (const std::exception& failure) {
                ComPort1_->Close();
                window_.SetPanelText(0, "COM: busy");
                // Which port and why, once: ticks repeat the same failure.
                const std::string port = ComPort1_->PortName();
                const std::string device = ComPort1_->DevicePath();
                const std::string problem = OpenProblem(port, device, failure.what());
                if (problem != openProblem_) {
                    openProblem_ = problem;
                    window_.ShowNotice(BriefOpenProblem(port, device, failure.what()), problem);
                }
            }
        }
    }
    CountSilence();

    if (link_->LinkMode() == BootMode) {
        if (PollAnswered == 0 && ++TickCounter >= 2) {
            TickCounter = 0;
            main_.RunAndWait([this] { SendPoll(); });
        }
    } else if (link_->LastAppCommand == AppCommandGoOffline && ++TickCounter >= 2) {
        TickCounter = 0;
        if (linkStepHook_)
            linkStepHook_();
        // "GOING OFFLINE" may have been interpreted since the test above: a
        // re-send is then dropped (and not counted), and the switch sets
        // bootloader mode rather than toggling the one just set back.
        if (OfflineRetries < 2) {
            if (SendAppCommand(AppCommandGoOffline))
                ++OfflineRetries;
        } else {
            SetMode(BootMode);
            OfflineRetries = 0;
            link_->LastAppCommand = 0xFF;
        }
    }

    if (ReadyDelay > 0) {
        --ReadyDelay;
    } else if (OfflineRequestPending == 1) {
        SendAppCommand(AppCommandGoOffline);
        TickCounter = 0;
        link_->ClearRxBuffer();
        OfflineRequestPending = 0;
    }
}

void Programmer::CountSilence() {
    if (!ComPort1_->Connected())
        return;
    std::int32_t ticks = silentTicks_;
    while (ticks >= 0 && !silentTicks_.compare_exchange_weak(ticks, ticks + 1)) {
    }
    if (ticks + 1 != SilentTicksNoticed || !silenceNotices_)
        return;
    if (link_->LinkMode() == BootMode)
        window_.ShowNotice("No answer: press START",
                           "The bootloader does not answer at 38400 baud: the device is "
                           "probably still in its application (SendProgram chosen before it "
                           "went offline). Press START to upgrade it from there.");
    else
        window_.ShowNotice("No answer: press F9",
                           "The device does not answer START at 4800 baud. If an upgrade was "
                           "cut off, it waits in its bootloader: press F9 (Commands > "
                           "SendProgram) to program it from there.");
}

} // namespace dedarida
