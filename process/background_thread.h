#pragma once

#include <functional>
#include <thread>

namespace dedarida {

// Starts `body` on a thread that takes no signals (on Linux it starts with
// all of them blocked): an interrupt goes to the thread that waits for it
// (see SignalWatcher), whenever that one starts, and never ends the process
// through this one.
std::thread StartBackgroundThread(std::function<void()> body);

} // namespace dedarida
