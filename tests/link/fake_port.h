#pragma once

#include "serial/data_port.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace dedarida::test {

using Bytes = std::vector<std::uint8_t>;

// A DataPort that serves queued input and records every write. Thread-safe.
class FakePort : public DataPort {
public:
    // Bytes that "arrive": InputCount and Read see them from now on.
    void Arrive(const Bytes& bytes);
    // Runs before a write is recorded, with the bytes written; may throw.
    void OnWrite(std::function<void(const Bytes&)> hook);

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
    int waitForWriteCalls_ = 0;
};

} // namespace dedarida::test
