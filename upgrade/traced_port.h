#pragma once

#include "serial/comport.h"
#include "upgrade/traffic_trace.h"

#include <atomic>

namespace dedarida {

// The port as the link sees it: TComPort's data operations, with every
// request written also going to the traffic trace when one is set.
class TracedPort : public DataPort {
public:
    explicit TracedPort(TComPort& port) : port_(port) {}

    // Any thread; null stops tracing. The trace must outlive its use here.
    void SetTrace(TrafficTrace* trace) { trace_ = trace; }
    TrafficTrace* Trace() const { return trace_; }

    std::int32_t Write(const void* Buffer, std::int32_t Count, bool Wait) override;
    std::int32_t Read(void* Buffer, std::int32_t Count, bool Wait) override {
        return port_.Read(Buffer, Count, Wait);
    }
    std::int32_t InputCount() override { return port_.InputCount(); }
    std::int32_t WaitForWrite() override { return port_.WaitForWrite(); }

private:
    TComPort& port_;
    std::atomic<TrafficTrace*> trace_{nullptr};
};

} // namespace dedarida
