#pragma once

#include "sim/wire_time.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace dedarida::sim {

// A byte on its way across the wire: its value, the line speed it was sent at, and the
// moment it has fully arrived.
struct TimedByte {
    std::uint8_t value;
    unsigned baud;
    Clock::time_point due;
};

// Fixed-capacity FIFO of timed bytes; no allocation. Not thread safe.
template <std::size_t Capacity> class TimedBytes {
public:
    bool Empty() const { return count_ == 0; }
    std::size_t Room() const { return Capacity - count_; }
    const TimedByte& Front() const { return items_[head_]; }
    std::size_t Size() const { return count_; }
    // The i-th byte from the front, i < Size().
    const TimedByte& At(std::size_t i) const { return items_[(head_ + i) % Capacity]; }
    // The caller checks Room() first.
    void Push(const TimedByte& item) {
        items_[(head_ + count_) % Capacity] = item;
        ++count_;
    }
    void Pop() {
        head_ = (head_ + 1) % Capacity;
        --count_;
    }
    void Clear() { head_ = count_ = 0; }

private:
    std::array<TimedByte, Capacity> items_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
};

} // namespace dedarida::sim
