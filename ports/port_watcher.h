#pragma once

#include <functional>
#include <memory>

namespace dedarida {

// Tells when serial ports may have come or gone: `changed` runs on a thread
// of the watcher's own after each arrival or removal (several changes may
// come as one call, and a call may find nothing changed). No polling: on
// Linux it listens to udev's monitor, on Windows to the system's
// device-change notifications; while PortsFolder is set it watches that
// folder instead. Construction raises EComPort when the system cannot be
// listened to. `changed` must not destroy the watcher.
class PortWatcher {
public:
    explicit PortWatcher(std::function<void()> changed);
    ~PortWatcher();
    PortWatcher(const PortWatcher&) = delete;
    PortWatcher& operator=(const PortWatcher&) = delete;

private:
    struct Platform;
    std::unique_ptr<Platform> platform_;
};

} // namespace dedarida
