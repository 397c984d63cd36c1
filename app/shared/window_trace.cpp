#include "app/shared/window_trace.h"

#include "app/shared/environment.h"

namespace dedarida {

std::unique_ptr<TrafficTrace> WindowTraceFromEnvironment() {
    const std::string path = EnvironmentValue("DEDARIDA_TRACE");
    if (path.empty())
        return nullptr;
    return std::make_unique<TrafficTrace>(path);
}

} // namespace dedarida
