#pragma once

#include "upgrade/traffic_trace.h"

#include <memory>

namespace dedarida {

// The window's trace: DEDARIDA_TRACE=FILE writes every frame of the session
// to FILE. Null when the variable is unset or empty.
std::unique_ptr<TrafficTrace> WindowTraceFromEnvironment();

} // namespace dedarida
