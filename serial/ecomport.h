#pragma once

#include <stdexcept>
#include <string>

namespace dedarida {

// Every failure of the serial port: a fixed text, mostly followed by the
// decimal error number of the system (errno, or the Win32 error code) of the
// call that failed.
class EComPort : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace dedarida
