#include "sim/injected_frames.h"

#include "sim/device_loop.h"

#include <cerrno>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace dedarida::sim {

InjectedFrames::InjectedFrames() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wake_.Get() < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

void InjectedFrames::Push(Frame frame) {
    {
        const std::lock_guard lock(mutex_);
        frames_.push_back(std::move(frame));
    }
    const std::uint64_t one = 1;
    if (::write(wake_.Get(), &one, sizeof one) != sizeof one) {
        throw std::system_error(errno, std::generic_category(), "eventfd write");
    }
}

std::deque<InjectedFrames::Frame> InjectedFrames::Take() {
    std::uint64_t count = 0;
    // Non-blocking: nothing to clear is not an error.
    [[maybe_unused]] const ssize_t cleared = ::read(wake_.Get(), &count, sizeof count);
    const std::lock_guard lock(mutex_);
    return std::exchange(frames_, {});
}

void DeviceLoop::SendInjected(Clock::time_point now) {
    for (const auto& frame : injected_.Take()) {
        if (!pty_) {
            continue;
        }
        const auto done = Queue(frame.bytes, now, false);
        Note(done, Direction::FromDevice, ModeBaud(), frame.bytes, frame.meaning + " (injected)");
        board_.Update([](SimStatus& s) { ++s.framesOut; });
    }
}

} // namespace dedarida::sim
