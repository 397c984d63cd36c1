#include "sim/device_loop.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace dedarida::sim {

namespace {

constexpr unsigned AppBaud = 4800;
constexpr unsigned BootBaud = 38400;
constexpr unsigned UnsetBaud = 9600; // the pty's speed before the tool sets one
constexpr std::size_t ReadChunk = 1024;
constexpr std::size_t WriteChunk = 256;
constexpr std::uint8_t GarbledByte = 0xFF;

std::string ModeText(DeviceMode mode) {
    switch (mode) {
    case DeviceMode::Application:
        return "application mode, 4800 baud";
    case DeviceMode::Rebooting:
        return "rebooting, deaf to the line";
    case DeviceMode::Bootloader:
        break;
    }
    return "bootloader mode, 38400 baud";
}

timespec Until(Clock::time_point deadline) {
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

} // namespace

DeviceLoop::DeviceLoop(const SimConfig& config, Transcript& transcript, StatusBoard& board,
                       InjectedFrames& injected)
    : config_(config), linkPath_(config.linkPath), transcript_(transcript), board_(board),
      injected_(injected), mode_(config.startMode), responder_(config), noise_(config.faults.seed) {
    OpenLine();
    board_.Update([this](SimStatus& s) { s.mode = mode_; });
    if (config_.faults.identityEvery > Millis{0}) {
        identityAt_ = Clock::now() + config_.faults.identityEvery;
    }
}

std::array<std::uint8_t, FlashSize> DeviceLoop::FlashBytes() const {
    const std::lock_guard lock(responderMutex_);
    return responder_.Flash().Bytes();
}

void DeviceLoop::Run(int stopFd) {
    for (;;) {
        const auto now = Clock::now();
        RunTimers(now);
        ConsumeDue(now);
        ReleaseDue(now);
        WriteDue(now);

        std::array<pollfd, 4> fds{};
        fds[0] = {stopFd, POLLIN, 0};
        nfds_t count = 1;
        if (pty_) {
            fds[count++] = {pty_->WatchFd(), POLLIN, 0};
        }
        if (pty_) {
            short events = 0;
            if (rx_.Room() >= ReadChunk) {
                events |= POLLIN;
            }
            if (!tx_.Empty() && tx_.Front().due <= now) {
                events |= POLLOUT;
            }
            fds[count++] = {pty_->MasterFd(), events, 0};
        }
        // Always last, so the indices above keep their meaning.
        fds[count] = {injected_.Fd(), POLLIN, 0};
        const auto deadline = NextDeadline(now);
        timespec timeout{};
        if (deadline) {
            timeout = Until(*deadline);
        }
        if (::ppoll(fds.data(), count + 1, deadline ? &timeout : nullptr, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "ppoll");
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (count == 3 && fds[1].revents != 0) {
            pty_->TakeOpensAndCloses();
            board_.Update(
                [present = pty_->ToolPresent()](SimStatus& s) { s.toolPresent = present; });
        }
        if (count == 3 && (fds[2].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            throw std::runtime_error("the pty master failed");
        }
        if (count == 3 && (fds[2].revents & POLLIN) != 0) {
            ReadLine(Clock::now());
        }
        if (fds[count].revents != 0) {
            SendInjected(Clock::now());
        }
    }
}

void DeviceLoop::OpenLine() {
    pty_ = std::make_unique<Pty>(linkPath_);
    rx_.Clear();
    tx_.Clear();
    appParser_.Reset();
    bootParser_.Reset();
    rawCount_ = 0;
    const std::string path = pty_->SlavePath();
    board_.Update([&](SimStatus& s) {
        s.slavePath = path;
        ++s.ptyGeneration;
    });
    Note(Clock::now(), Direction::Event, ModeBaud(), {}, "line up at " + path);
}

void DeviceLoop::HangUp(Clock::time_point now) {
    if (config_.faults.lingerAfterHangUp > Millis{0} && !linkPath_.empty()) {
        lingeringLink_ = linkPath_;
        lingeringTarget_ = pty_->LeaveLink();
        lingerEndAt_ = now + config_.faults.lingerAfterHangUp;
        Note(now, Direction::Event, ModeBaud(), {}, "the link stays, leading nowhere");
    }
    pty_.reset();
    rx_.Clear();
    tx_.Clear();
    pending_.fill(std::nullopt);
    modeAt_.reset();
    comebackAt_ = now + config_.faults.comebackDelay;
    board_.Update([](SimStatus& s) {
        s.slavePath.clear();
        s.toolPresent = false;
    });
    Note(now, Direction::Event, ModeBaud(), {}, "line hung up");
}

void DeviceLoop::ReadLine(Clock::time_point now) {
    std::array<std::uint8_t, ReadChunk> chunk{};
    const std::size_t got = pty_->Read(chunk);
    if (got == 0) {
        return;
    }
    const unsigned baud = pty_->Speed();
    const auto byteTime = WireByte(baud);
    for (std::size_t i = 0; i < got; ++i) {
        rxWireFree_ = std::max(rxWireFree_, now) + byteTime;
        rx_.Push({chunk[i], baud, rxWireFree_});
    }
}

void DeviceLoop::ConsumeDue(Clock::time_point now) {
    while (!rx_.Empty() && rx_.Front().due <= now) {
        const TimedByte byte = rx_.Front();
        rx_.Pop();
        Feed(byte);
    }
    if (rx_.Empty()) {
        FlushGarbage();
    }
}

void DeviceLoop::Feed(const TimedByte& byte) {
    if (byte.baud != ModeBaud()) {
        // A UART at another speed sees framing errors: whatever frame was open is lost.
        if (garbageCount_ == 0) {
            garbageAt_ = byte.due;
            garbageBaud_ = byte.baud;
        }
        if (garbageCount_ < garbage_.size()) {
            garbage_[garbageCount_] = byte.value;
        }
        ++garbageCount_;
        appParser_.Reset();
        bootParser_.Reset();
        rawCount_ = 0;
        return;
    }
    FlushGarbage();
    if (rawCount_ < rawIn_.size()) {
        rawIn_[rawCount_++] = byte.value;
    }
    const auto raw = std::span(rawIn_).first(rawCount_);
    std::optional<Response> response;
    if (mode_ == DeviceMode::Application) {
        if (const auto code = appParser_.Feed(byte.value)) {
            const std::lock_guard lock(responderMutex_);
            response = responder_.OnAppCommand(*code);
        } else if (appParser_.Hunting()) {
            rawCount_ = 0;
        }
    } else {
        const auto result = bootParser_.Feed(byte.value);
        if (result == BootRequestParser::Result::Request) {
            const std::lock_guard lock(responderMutex_);
            response = responder_.OnBootRequest(bootParser_.Body());
        } else if (result == BootRequestParser::Result::Rejected) {
            Note(byte.due, Direction::ToDevice, byte.baud, raw, "rejected request (ignored)");
            board_.Update([](SimStatus& s) { ++s.rejectedFrames; });
            rawCount_ = 0;
        } else if (bootParser_.Hunting()) {
            rawCount_ = 0;
        }
    }
    if (response) {
        Note(byte.due, Direction::ToDevice, byte.baud, raw, response->requestMeaning);
        rawCount_ = 0;
        Handle(std::move(*response), byte.due);
    }
}

void DeviceLoop::Handle(Response response, Clock::time_point now) {
    board_.Update([&](SimStatus& s) {
        ++s.framesIn;
        for (std::size_t k = 0; k < RequestKindCount; ++k) {
            s.requests[k] = responder_.Requests(static_cast<RequestKind>(k));
        }
        s.blocksStored = responder_.BlocksStored();
        s.checkPassed = responder_.CheckPassed();
        s.silent = responder_.Silent();
    });
    if (response.hangUp) {
        HangUp(now);
        return;
    }
    if (response.frameCount == 0 && response.rebootInto) {
        SwitchMode(DeviceMode::Rebooting, now);
        modeAt_ = now + config_.rebootDelay;
        nextMode_ = *response.rebootInto;
    }
    for (std::size_t i = 0; i < response.frameCount; ++i) {
        ReleaseDue(now); // frees the slots of answers already due
        const auto slot = std::find(pending_.begin(), pending_.end(), std::nullopt);
        if (slot == pending_.end()) {
            Note(now, Direction::Event, ModeBaud(), {}, "reply lost: too many replies pending");
            continue;
        }
        auto& frame = response.frames[i];
        *slot = PendingFrame{now + frame.delay, std::move(frame),
                             i == 0 ? response.rebootInto : std::nullopt};
    }
    ReleaseDue(now);
}

void DeviceLoop::ReleaseDue(Clock::time_point now) {
    for (;;) {
        auto earliest = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (*it && (*it)->at <= now &&
                (earliest == pending_.end() || (*it)->at < (*earliest)->at)) {
                earliest = it;
            }
        }
        if (earliest == pending_.end()) {
            return;
        }
        const PendingFrame pending = std::move(**earliest);
        earliest->reset();
        Release(pending);
    }
}

void DeviceLoop::Release(const PendingFrame& pending) {
    if (!pty_) {
        return;
    }
    const auto start = pending.at;
    const auto& faults = config_.faults;
    if (faults.noiseBytes > 0) {
        std::array<std::uint8_t, 256> noise{};
        const std::size_t count = std::min<std::size_t>(faults.noiseBytes, noise.size());
        std::uniform_int_distribution<unsigned> draw(0, 255);
        for (std::size_t i = 0; i < count; ++i) {
            // Noise never holds a frame's first byte, so a sound framer skips all of it.
            do {
                noise[i] = static_cast<std::uint8_t>(draw(noise_));
            } while (noise[i] == 0x55 || noise[i] == Dle);
        }
        const auto done = Queue(std::span(noise).first(count), start, false);
        Note(done, Direction::Event, ModeBaud(), std::span(noise).first(count), "noise");
    }
    const auto& frame = pending.frame;
    const std::size_t size = frame.half ? std::max<std::size_t>(1, frame.size / 2) : frame.size;
    const auto bytes = std::span(frame.bytes).first(size);
    const unsigned baud = frame.wrongSpeed ? (ModeBaud() == AppBaud ? BootBaud : AppBaud) : 0;
    const auto done = Queue(bytes, start, true, baud);
    Note(done, Direction::FromDevice, baud != 0 ? baud : ModeBaud(), bytes,
         frame.half ? frame.meaning + " (first half only, then silence)" : frame.meaning);
    board_.Update([](SimStatus& s) { ++s.framesOut; });
    if (pending.rebootInto) {
        SwitchMode(DeviceMode::Rebooting, done);
        modeAt_ = done + config_.rebootDelay;
        nextMode_ = *pending.rebootInto;
    }
}

Clock::time_point DeviceLoop::Queue(std::span<const std::uint8_t> bytes, Clock::time_point start,
                                    bool split, unsigned speed) {
    const unsigned baud = speed != 0 ? speed : ModeBaud();
    const auto byteTime = WireByte(baud);
    const unsigned piece = split ? config_.faults.splitPiece : 0;
    auto t = std::max(start, txWireFree_);
    for (std::size_t k = 0; k < bytes.size() && tx_.Room() > 0; ++k) {
        if (piece > 0 && k > 0 && k % piece == 0) {
            t += config_.faults.splitGap;
        }
        t += byteTime;
        tx_.Push({bytes[k], baud, t});
    }
    txWireFree_ = t;
    return t;
}

void DeviceLoop::WriteDue(Clock::time_point now) {
    if (!pty_ || tx_.Empty() || tx_.Front().due > now) {
        return;
    }
    if (!pty_->ToolPresent()) {
        std::size_t lost = 0;
        for (; !tx_.Empty() && tx_.Front().due <= now; ++lost) {
            tx_.Pop();
        }
        Note(now, Direction::Event, ModeBaud(), {},
             std::to_string(lost) + " bytes lost: no one has the line open");
        return;
    }
    const unsigned listening = pty_->Speed();
    std::array<std::uint8_t, WriteChunk> out{};
    std::size_t count = 0;
    unsigned garbledBaud = 0;
    while (count < out.size() && count < tx_.Size() && tx_.At(count).due <= now) {
        const TimedByte& byte = tx_.At(count);
        if (byte.baud == listening) {
            out[count] = byte.value;
        } else {
            out[count] = GarbledByte;
            garbledBaud = byte.baud;
        }
        ++count;
    }
    const std::size_t written = pty_->Write(std::span(out).first(count));
    for (std::size_t i = 0; i < written; ++i) {
        tx_.Pop();
    }
    if (garbledBaud != 0 && written > 0) {
        Note(now, Direction::Event, garbledBaud, std::span(out).first(written),
             "sent at " + std::to_string(garbledBaud) + " baud while the tool listens at " +
                 std::to_string(listening) + ": the tool gets garbage");
    }
}

void DeviceLoop::RunTimers(Clock::time_point now) {
    if (modeAt_ && *modeAt_ <= now) {
        const auto at = *modeAt_;
        modeAt_.reset();
        SwitchMode(nextMode_, at);
    }
    if (lingerEndAt_ && *lingerEndAt_ <= now) {
        RemoveLingeringLink();
    }
    if (identityAt_ && *identityAt_ <= now) {
        *identityAt_ += config_.faults.identityEvery;
        AnnounceIdentity(now);
    }
    if (comebackAt_ && *comebackAt_ <= now) {
        comebackAt_.reset();
        if (!config_.faults.comebackLink.empty())
            linkPath_ = config_.faults.comebackLink;
        SwitchMode(config_.faults.comebackInBootloader ? DeviceMode::Bootloader
                                                       : DeviceMode::Application,
                   now);
        OpenLine();
    }
}

void DeviceLoop::AnnounceIdentity(Clock::time_point now) {
    if (!pty_ || mode_ != DeviceMode::Application) {
        return;
    }
    std::array<std::uint8_t, AppReplyMax> frame{};
    const std::size_t size = BuildAppReply(0x03, config_.identity, frame);
    const auto bytes = std::span(frame).first(size);
    const auto done = Queue(bytes, now, true);
    Note(done, Direction::FromDevice, ModeBaud(), bytes, "\"" + config_.identity + "\" (unasked)");
    board_.Update([](SimStatus& s) { ++s.framesOut; });
}

// Only while it still leads nowhere: a comeback points it anew.
void DeviceLoop::RemoveLingeringLink() {
    lingerEndAt_.reset();
    std::array<char, PATH_MAX> target{};
    const ssize_t length = ::readlink(lingeringLink_.c_str(), target.data(), target.size() - 1);
    if (length > 0 &&
        lingeringTarget_ == std::string_view(target.data(), static_cast<std::size_t>(length))) {
        ::unlink(lingeringLink_.c_str());
    }
}

void DeviceLoop::SwitchMode(DeviceMode mode, Clock::time_point at) {
    mode_ = mode;
    appParser_.Reset();
    bootParser_.Reset();
    rawCount_ = 0;
    board_.Update([mode](SimStatus& s) { s.mode = mode; });
    Note(at, Direction::Event, ModeBaud(), {}, ModeText(mode));
}

void DeviceLoop::FlushGarbage() {
    if (garbageCount_ == 0) {
        return;
    }
    const std::size_t shown = std::min(garbageCount_, garbage_.size());
    Note(garbageAt_, Direction::Event, garbageBaud_, std::span(garbage_).first(shown),
         std::to_string(garbageCount_) + " bytes at " + std::to_string(garbageBaud_) +
             " baud while listening at " + std::to_string(ModeBaud()) + ": line garbage");
    const std::size_t count = garbageCount_;
    board_.Update([count](SimStatus& s) { s.garbageBytes += count; });
    garbageCount_ = 0;
}

std::optional<Clock::time_point> DeviceLoop::NextDeadline(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next) {
            next = t;
        }
    };
    if (!rx_.Empty()) {
        consider(rx_.Front().due);
    }
    // A byte already due waits for POLLOUT, not for a timeout.
    if (!tx_.Empty() && tx_.Front().due > now) {
        consider(tx_.Front().due);
    }
    for (const auto& pending : pending_) {
        if (pending) {
            consider(pending->at);
        }
    }
    if (modeAt_) {
        consider(*modeAt_);
    }
    if (comebackAt_) {
        consider(*comebackAt_);
    }
    if (lingerEndAt_) {
        consider(*lingerEndAt_);
    }
    if (identityAt_) {
        consider(*identityAt_);
    }
    return next;
}

void DeviceLoop::Note(Clock::time_point at, Direction direction, unsigned baud,
                      std::span<const std::uint8_t> bytes, std::string_view meaning) {
    transcript_.Add(std::chrono::duration_cast<std::chrono::microseconds>(at - started_), direction,
                    baud, bytes, meaning);
}

unsigned DeviceLoop::ModeBaud() const {
    switch (mode_) {
    case DeviceMode::Application:
        return AppBaud;
    case DeviceMode::Rebooting:
        return 0;
    case DeviceMode::Bootloader:
        break;
    }
    return BootBaud;
}

Clock::duration DeviceLoop::WireByte(unsigned baud) const {
    if (!config_.paced) {
        return Clock::duration::zero();
    }
    return ByteTime(baud != 0 ? baud : UnsetBaud);
}

} // namespace dedarida::sim
