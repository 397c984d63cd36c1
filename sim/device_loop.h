#pragma once

#include "sim/app_frames.h"
#include "sim/boot_frames.h"
#include "sim/injected_frames.h"
#include "sim/pty.h"
#include "sim/responder.h"
#include "sim/sim_config.h"
#include "sim/sim_status.h"
#include "sim/timed_bytes.h"
#include "sim/transcript.h"
#include "sim/wire_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>

namespace dedarida::sim {

// The device's thread body: moves bytes between the pty and the Responder, paces them as
// the wire would, runs the reboot and comeback timers. Every wait is a poll with a
// deadline. Run() and the constructor's caller are the only users, except FlashBytes().
class DeviceLoop {
public:
    DeviceLoop(const SimConfig& config, Transcript& transcript, StatusBoard& board,
               InjectedFrames& injected);

    // Until `stopFd` becomes readable.
    void Run(int stopFd);
    // Thread safe.
    std::array<std::uint8_t, FlashSize> FlashBytes() const;

private:
    struct PendingFrame {
        Clock::time_point at;
        OutFrame frame;
        std::optional<DeviceMode> rebootInto;
    };

    void OpenLine();
    void HangUp(Clock::time_point now);
    void ReadLine(Clock::time_point now);
    void ConsumeDue(Clock::time_point now);
    void Feed(const TimedByte& byte);
    void Handle(Response response, Clock::time_point now);
    void ReleaseDue(Clock::time_point now);
    void Release(const PendingFrame& pending);
    // `baud` 0: the mode's own speed.
    Clock::time_point Queue(std::span<const std::uint8_t> bytes, Clock::time_point now, bool split,
                            unsigned baud = 0);
    void WriteDue(Clock::time_point now);
    void RunTimers(Clock::time_point now);
    void SendInjected(Clock::time_point now);
    void AnnounceIdentity(Clock::time_point now);
    void RemoveLingeringLink();
    void SwitchMode(DeviceMode mode, Clock::time_point now);
    void FlushGarbage();
    std::optional<Clock::time_point> NextDeadline(Clock::time_point now) const;
    void Note(Clock::time_point at, Direction direction, unsigned baud,
              std::span<const std::uint8_t> bytes, std::string_view meaning);
    unsigned ModeBaud() const;
    Clock::duration WireByte(unsigned baud) const;

    const SimConfig& config_;
    // Where the line is linked now: a comeback may move it.
    std::string linkPath_;
    Transcript& transcript_;
    StatusBoard& board_;
    InjectedFrames& injected_;
    const Clock::time_point started_ = Clock::now();

    std::unique_ptr<Pty> pty_;
    DeviceMode mode_;
    mutable std::mutex responderMutex_; // the flash is read from other threads
    Responder responder_;
    AppRequestParser appParser_;
    BootRequestParser bootParser_;

    TimedBytes<4096> rx_;
    TimedBytes<4096> tx_;
    Clock::time_point rxWireFree_{};
    Clock::time_point txWireFree_{};
    std::array<std::uint8_t, 2100> rawIn_{};
    std::size_t rawCount_ = 0;
    std::array<std::uint8_t, 64> garbage_{};
    std::size_t garbageCount_ = 0;
    unsigned garbageBaud_ = 0;
    Clock::time_point garbageAt_{};

    // Room for the answers of a host that sends ahead of them: one that sends
    // a block on every answer, doubles too, can have all 86 blocks answered
    // twice at once, and the check's answer must still find a place.
    std::array<std::optional<PendingFrame>, 256> pending_;
    std::optional<Clock::time_point> modeAt_;
    DeviceMode nextMode_ = DeviceMode::Application;
    std::optional<Clock::time_point> comebackAt_;
    std::optional<Clock::time_point> identityAt_;
    // The slave a link left behind by a hang-up leads to, and when it goes.
    std::string lingeringTarget_;
    std::optional<Clock::time_point> lingerEndAt_;
    std::string lingeringLink_;
    std::minstd_rand noise_;
};

} // namespace dedarida::sim
