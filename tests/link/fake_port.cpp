#include "tests/link/fake_port.h"

#include <algorithm>
#include <utility>

namespace dedarida::test {

void FakePort::Arrive(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
}

void FakePort::OnWrite(std::function<void(const Bytes&)> hook) {
    std::lock_guard lock(mutex_);
    onWrite_ = std::move(hook);
}

std::vector<Bytes> FakePort::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

Bytes FakePort::LastWrite() const {
    std::lock_guard lock(mutex_);
    return writes_.empty() ? Bytes{} : writes_.back();
}

std::size_t FakePort::Pending() const {
    std::lock_guard lock(mutex_);
    return input_.size();
}

int FakePort::WaitForWriteCalls() const {
    std::lock_guard lock(mutex_);
    return waitForWriteCalls_;
}

std::int32_t FakePort::Write(const void* Buffer, std::int32_t Count, bool) {
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

std::int32_t FakePort::Read(void* Buffer, std::int32_t Count, bool) {
    std::lock_guard lock(mutex_);
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(Count), input_.size());
    std::copy_n(input_.begin(), count, static_cast<std::uint8_t*>(Buffer));
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
    return static_cast<std::int32_t>(count);
}

std::int32_t FakePort::InputCount() {
    std::lock_guard lock(mutex_);
    return static_cast<std::int32_t>(input_.size());
}

std::int32_t FakePort::WaitForWrite() {
    std::lock_guard lock(mutex_);
    ++waitForWriteCalls_;
    return -2;
}

} // namespace dedarida::test
