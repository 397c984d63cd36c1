#pragma once

#include "sim/unique_fd.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace dedarida::sim {

// Bytes a test asks the device to send at once, outside any exchange: a reply
// nobody requested, or several frames in one write. Thread safe; the device
// loop polls Fd() and takes what is queued.
class InjectedFrames {
public:
    struct Frame {
        std::vector<std::uint8_t> bytes;
        std::string meaning;
    };

    InjectedFrames();

    void Push(Frame frame);
    int Fd() const { return wake_.Get(); }
    // Everything queued so far, oldest first; clears the wake-up.
    std::deque<Frame> Take();

private:
    UniqueFd wake_;
    std::mutex mutex_;
    std::deque<Frame> frames_;
};

} // namespace dedarida::sim
