#pragma once

#include "tests/serial/fake_line.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace dedarida::test {

using Bytes = std::vector<std::uint8_t>;

// The device's end of a fake line: the bytes it sends and the frames the
// tool wrote. Thread-safe.
class DeviceEnd {
public:
    void Send(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        input_.insert(input_.end(), bytes.begin(), bytes.end());
    }
    std::vector<Bytes> Writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

    void Written(const std::uint8_t* data, std::int32_t count) {
        std::lock_guard lock(mutex_);
        writes_.emplace_back(data, data + count);
    }
    std::int32_t Waiting() const {
        std::lock_guard lock(mutex_);
        return static_cast<std::int32_t>(input_.size());
    }
    std::int32_t Take(std::uint8_t* data, std::int32_t count) {
        std::lock_guard lock(mutex_);
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(count), input_.size());
        std::copy_n(input_.begin(), n, data);
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<std::int32_t>(n);
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::uint8_t> input_;
    std::vector<Bytes> writes_;
};

// A fake driver whose transfers carry bytes to and from a DeviceEnd.
class ScriptedDriver : public test::FakeDriver {
public:
    ScriptedDriver(std::shared_ptr<test::FakeLine> line, std::shared_ptr<DeviceEnd> device)
        : FakeDriver(std::move(line)), device_(std::move(device)) {}

    Progress Advance(Transfer& op, bool block) override {
        const Progress progress = FakeDriver::Advance(op, block);
        if (progress != Progress::Complete)
            return progress;
        if (op.write)
            device_->Written(op.data, op.count);
        else
            op.done = device_->Take(op.data, op.count);
        return progress;
    }
    bool InputCount(std::int32_t& count) override {
        if (!FakeDriver::InputCount(count))
            return false;
        count = device_->Waiting();
        return true;
    }

private:
    std::shared_ptr<DeviceEnd> device_;
};

} // namespace dedarida::test
