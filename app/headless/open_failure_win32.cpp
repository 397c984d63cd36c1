#include "app/headless/open_failure.h"

#include <windows.h>

namespace dedarida {

OpenFailure ClassifyOpenFailure(int code) {
    switch (code) {
    // A COM port opens for one program at a time: the system says "access
    // denied" to the second.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenFailure::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
        return OpenFailure::Missing;
    default:
        return OpenFailure::Other;
    }
}

const char* PermissionHint() {
    return "Ask the administrator of this computer for access to the port.";
}

const char* NoPortsText() {
    return "No serial ports are present; plug in the adapter, and check that Device Manager "
           "lists it under Ports (COM & LPT).";
}

} // namespace dedarida
