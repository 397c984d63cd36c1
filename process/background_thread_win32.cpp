#include "process/background_thread.h"

namespace dedarida {

// The console's interrupts come on a thread of the system's own.
std::thread StartBackgroundThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

} // namespace dedarida
