#pragma once

#include <functional>

namespace dedarida {

// Runs `action`; an exception it throws is shown in the default error box
// instead of unwinding through the window system's code. Main thread only.
void RunGuarded(const std::function<void()>& action);

// `action` wrapped for a signal connection.
inline std::function<void()> Guarded(std::function<void()> action) {
    return [action = std::move(action)] { RunGuarded(action); };
}

} // namespace dedarida
