#pragma once

#include "serial/ecomport.h"

#include <functional>
#include <string>

namespace dedarida::test {

// The message of the EComPort that `action` raises; "" when it raises none.
inline std::string PortError(const std::function<void()>& action) {
    try {
        action();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "";
}

} // namespace dedarida::test
