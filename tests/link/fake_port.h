#pragma once

#include "serial/data_port.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace dedarida::test {

using Bytes = std::vector<std::uint8_t>;

// A DataPort that serves queued input and records every write. Thread-safe.
// Header-only: the fuzz target uses it too.
class FakePort : public DataPort {
public:
    // Bytes that "arrive": InputCount and Read see them from now on.
    void Arrive(const Bytes& bytes);
    // Runs before a write is recorded, with the bytes written; may throw.
    void OnWrite(std::function<void(const Bytes&)> hook);
    // Runs in InputCount with the count it is about to report; may throw.
    void OnInputCount(std::function<void(std::int32_t)> hook);

    std::vector<Bytes> Writes() const;
    Bytes LastWrite() const;
    std::size_t Pending() const;
    int WaitForWriteCalls() const;

    std::int32_t Write(const void* Buffer, std::int32_t Count, bool Wait) override;
    std::int32_t Read(void* Buffer, std::int32_t Count, bool Wait) override;
    std::int32_t InputCount() override;
    std::int32_t WaitForWrite() override;

private:
    mutable std::mutex mutex_;
    std::deque<std::uint8_t> input_;
    std::vector<Bytes> writes_;
    std::function<void(const Bytes&)> onWrite_;
    std::function<void(std::int32_t)> onInputCount_;
    int waitForWriteCalls_ = 0;
};

inline void FakePort::Arrive(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
}

inline void FakePort::OnWrite(std::function<void(const Bytes&)> hook) {
    std::lock_guard lock(mutex_);
    onWrite_ = std::move(hook);
}

inline void FakePort::OnInputCount(std::function<void(std::int32_t)> hook) {
    std::lock_guard lock(mutex_);
    onInputCount_ = std::move(hook);
}

inline std::vector<Bytes> FakePort::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

inline Bytes FakePort::LastWrite() const {
    std::lock_guard lock(mutex_);
    return writes_.empty() ? Bytes{} : writes_.back();
}

inline std::size_t FakePort::Pending() const {
    std::lock_guard lock(mutex_);
    return input_.size();
}

inline int FakePort::WaitForWriteCalls() const {
    std::lock_guard lock(mutex_);
    return waitForWriteCalls_;
}

inline std::int32_t FakePort::Write(const void* Buffer, std::int32_t Count, bool) {
    const auto* bytes = static_cast<const std::uint8_t*>(Buffer);
    Bytes written(bytes, bytes + Count);
    std::function<void(const Bytes&)> hook;
    {
        std::lock_guard lock(mutex_);
        hook = onWrite_;
    }
    if (hook)
        hook(written);
    std::lock_guard lock(mutex_);
    writes_.push_back(std::move(written));
    return Count;
}

inline std::int32_t FakePort::Read(void* Buffer, std::int32_t Count, bool) {
    std::lock_guard lock(mutex_);
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(Count), input_.size());
    std::copy_n(input_.begin(), count, static_cast<std::uint8_t*>(Buffer));
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<std::int32_t>(count);
}

inline std::int32_t FakePort::InputCount() {
    std::function<void(std::int32_t)> hook;
    std::int32_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        hook = onInputCount_;
        waiting = static_cast<std::int32_t>(input_.size());
    }
    if (hook)
        hook(waiting);
    return waiting;
}

inline std::int32_t FakePort::WaitForWrite() {
    std::lock_guard lock(mutex_);
    ++waitForWriteCalls_;
    return -2;
}

} // namespace dedarida::test
