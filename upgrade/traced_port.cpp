#include "upgrade/traced_port.h"

namespace dedarida {

std::int32_t TracedPort::Write(const void* Buffer, std::int32_t Count, bool Wait) {
    const std::int32_t written = port_.Write(Buffer, Count, Wait);
    if (TrafficTrace* trace = trace_)
        trace->Sent(static_cast<const std::uint8_t*>(Buffer), static_cast<std::size_t>(Count),
                    BitsPerSecond(port_.BaudRate()));
    return written;
}

} // namespace dedarida
