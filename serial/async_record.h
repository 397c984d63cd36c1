#pragma once

#include "serial/driver/serial_driver.h"

namespace dedarida {

// A write or read left pending by TComPort. Touched only by the thread that
// holds the port's lock for its direction.
struct AsyncRecord {
    Transfer op;
    SerialDriver::Progress state = SerialDriver::Progress::Pending;
    int error = 0;
};

} // namespace dedarida
