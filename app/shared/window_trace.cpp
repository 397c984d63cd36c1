#include "app/shared/window_trace.h"

#include <cstdlib>

namespace dedarida {

std::unique_ptr<TrafficTrace> WindowTraceFromEnvironment() {
    const char* path = std::getenv("DEDARIDA_TRACE");
    if (!path || !*path)
        return nullptr;
    return std::make_unique<TrafficTrace>(path);
}

} // namespace dedarida
