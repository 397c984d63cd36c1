#pragma once

#include <cstdint>

namespace dedarida {

// The data operations of a serial port that the link protocol uses. TComPort
// implements them; tests put fakes in their place. All raise EComPort.
class DataPort {
public:
    virtual ~DataPort() = default;

    // Bytes written, or -1 when the write was left pending (Wait false only).
    virtual std::int32_t Write(const void* Buffer, std::int32_t Count, bool Wait) = 0;
    // Bytes read (at most Count), or -1 when the read was left pending.
    virtual std::int32_t Read(void* Buffer, std::int32_t Count, bool Wait) = 0;
    // Bytes waiting in the input queue.
    virtual std::int32_t InputCount() = 0;
    // Collects the most recent pending operation: its byte count, or -2 if none.
    virtual std::int32_t WaitForWrite() = 0;
};

} // namespace dedarida
