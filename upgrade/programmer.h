#pragma once

#include "image/embedded_firmware.h"
#include "image/flash_image.h"
#include "link/link.h"
#include "serial/comport.h"
#include "serial/main_thread.h"
#include "upgrade/manual_reset_event.h"
#include "upgrade/programmer_window.h"
#include "upgrade/reply_match.h"
#include "upgrade/traced_port.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

namespace dedarida {

class Timer;

// The upgrade controller and reply interpreter: the logic of the main window.
// It owns the port, the link, the flash image, the upgrade state and the tick
// thread. One instance per tool.
//
// Threads: every operation runs on the main thread except Tick, which the
// tick thread runs (it hands SendPoll to the main thread and waits for it).
class Programmer {
public:
    // Makes the port's driver; empty for the system's own.
    using DriverFactory = std::function<std::unique_ptr<SerialDriver>()>;
    // Blocks the calling thread for the given time.
    using Pause = std::function<void(std::chrono::milliseconds)>;

    Programmer(ProgrammerWindow& window, MainThread& main, DriverFactory makeDriver = {});
    ~Programmer();
    Programmer(const Programmer&) = delete;
    Programmer& operator=(const Programmer&) = delete;

    // Creation of the window: the port, TickEvent, the tick thread, Timer1.
    // `startTicking` false leaves the tick thread out (tests call Tick).
    void Init(bool startTicking = true);
    // Destruction of the window: stops the tick thread, then AbortAll and Close.
    void CloseAll();

    void Button1Click();
    void SendCode();
    void SendPoll();
    void StartBootSequence1Click();
    void SwitchStatus1Click();
    void PortSetup();
    void Timeout();
    void Rx(TComPort& Sender, std::int32_t InQue);
    void DisplayCmdErr(int code);
    void LoadFw();
    // The image every load sends (at START and again at Erase Flash) and the
    // version the success message names; an empty version keeps the one the
    // device's identity selects. The image must outlive the Programmer.
    void SetFirmware(std::span<const std::uint8_t, TxSize> image, std::string version);

    // One tick of the tick thread, in the rules' order.
    void Tick();

    // Test seam: runs inside Tick once the link step has read the state it
    // acts on and before it acts, where the main thread may interpret a
    // reply. Set it before ticks run.
    void SetLinkStepHook(std::function<void()> hook) { linkStepHook_ = std::move(hook); }

    // Test seam: what the controller's pauses (the one after an accepted
    // identity) call instead of sleeping. Set it before replies arrive.
    void SetPause(Pause pause) { pause_ = std::move(pause); }

    // Any thread; null ends tracing. The trace must outlive the Programmer's use of it.
    void SetTrace(TrafficTrace* trace);

    // The window's notices for a device that stays silent where an answer is
    // due: START's identity request, or anything at all since the link
    // entered bootloader mode, unanswered for about six ticks. Off until set;
    // set it before ticks run.
    void SetSilenceNotices(bool on) { silenceNotices_ = on; }

    TComPort& ComPort1() { return *ComPort1_; }
    Link& LinkState() { return *link_; }
    TFlashImage& FlashImage() { return FlashImage_; }
    const TFlashImage& FlashImage() const { return FlashImage_; }

    // Upgrade state; atomics because the tick thread shares it.
    std::atomic<std::uint8_t> PollAnswered{0};
    std::atomic<std::int32_t> TickCounter{0};
    std::atomic<std::int32_t> OfflineRetries{0};
    std::atomic<std::int32_t> ReadyDelay{0};
    std::atomic<std::uint8_t> OfflineRequestPending{0};
    // Bootloader replies discarded because they answer no request outstanding
    // (none written, answered already, another one, or too short to say).
    std::atomic<std::int32_t> MismatchedReplies{0};
    ManualResetEvent TickEvent;
    // Main thread only.
    std::string ReplyText = std::string(40, ' ');
    // The text of the latest text reply as it came; ReplyText keeps the tail
    // of a longer earlier one after it.
    std::string LastReply;
    std::string TargetVersion = "v4.5";

private:
    enum class OpenFailure { Report, Raise };
    // "Open the port where needed": true when the port is open afterwards.
    bool OpenIfNeeded(OpenFailure onFailure);
    void SetMode(std::uint8_t mode);
    // Under portMutex_, once the port has opened.
    void PortOpened();
    // Tick thread: one more tick without the answer awaited.
    void CountSilence();
    // Link::SendAppCommand; a command dropped because the link has left
    // application mode is noted in the trace.
    bool SendAppCommand(std::uint8_t code);
    void LineLost();
    void TraceReply();
    void InterpretBootReply();
    void DiscardReply(ReplyMismatch why, std::uint8_t answered);
    // The answer to each bootloader request, by the status it carries.
    void OnPollAnswer();
    void OnEraseAnswer(std::uint8_t status);
    void OnBlockAnswer(std::uint8_t status);
    void OnCheckAnswer(std::uint8_t status);
    void OnFwIdAnswer(std::uint8_t status);
    void InterpretAppReply();

    ProgrammerWindow& window_;
    MainThread& main_;
    DriverFactory makeDriver_;
    TFlashImage FlashImage_{};
    std::span<const std::uint8_t, TxSize> firmware_ = EmbeddedFirmware();
    std::string firmwareVersion_;
    std::unique_ptr<TComPort> ComPort1_;
    std::unique_ptr<TracedPort> tracedPort_;
    std::unique_ptr<Link> link_;
    std::unique_ptr<Timer> timer_;
    std::function<void()> linkStepHook_;
    Pause pause_ = [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); };
    // The last failure to open the port on a tick, as shown in panel 1
    // (under portMutex_).
    std::string openProblem_;
    std::atomic<bool> silenceNotices_{false};
    // Ticks without the answer awaited; below 0 while none is awaited.
    std::atomic<std::int32_t> silentTicks_{-1};
    // Whether anything came from the bootloader since the link entered
    // bootloader mode.
    std::atomic<bool> bootloaderHeard_{false};
    // Main thread: the box saying the line was lost is open.
    bool lineLostShown_ = false;
    // Keeps the two threads' open-if-needed and mode switches whole.
    std::recursive_mutex portMutex_;
};

} // namespace dedarida
