#pragma once

#include "serial/comport.h"

#include <mutex>

namespace dedarida {

// Properties of a port and of its sub-objects live under the port's
// configuration lock;
// a changed value goes to the driver through the port's configure step.
struct SubObjectAccess {
    template <typename T> static T Get(const TComPort& port, const T& field) {
        std::lock_guard lock(port.ConfigMutex());
        return field;
    }

    template <typename T> static void SetLine(TComPort& port, T& field, T value) {
        Set(port, field, value, &TComPort::ConfigureLine);
    }
    template <typename T> static void SetQueueSize(TComPort& port, T& field, T value) {
        Set(port, field, value, &TComPort::ConfigureBuffers);
    }
    template <typename T> static void SetTimeout(TComPort& port, T& field, T value) {
        Set(port, field, value, &TComPort::ConfigureTimeouts);
    }

    // Copies the values; the target keeps its own port, since settings of one
    // port must not drive another.
    template <typename Sub> static void AssignTo(const Sub& source, Sub& target) {
        std::scoped_lock lock(source.owner_->ConfigMutex(), target.owner_->ConfigMutex());
        TComPort* const targetOwner = target.owner_;
        target = source;
        target.owner_ = targetOwner;
    }

private:
    template <typename T>
    static void Set(TComPort& port, T& field, T value, void (TComPort::*configure)()) {
        std::lock_guard lock(port.ConfigMutex());
        if (field == value)
            return;
        field = value;
        (port.*configure)();
    }
};

} // namespace dedarida
