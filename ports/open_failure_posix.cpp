#include "ports/open_failure.h"
#include "ports/port_holders_posix.h"

#include <cerrno>
#include <system_error>

namespace dedarida {

OpenFailure ClassifyOpenFailure(int code) {
    switch (code) {
    case EACCES:
    case EPERM:
        return OpenFailure::NoPermission;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenFailure::InUse;
    case ENOENT:
        return OpenFailure::Missing;
    case ENODEV:
    case ENXIO:
        return OpenFailure::Gone;
    case ENOTTY:
        return OpenFailure::NotSerial;
    default:
        return OpenFailure::Other;
    }
}

std::string SystemErrorText(int code) {
    return std::generic_category().message(code);
}

std::string PortHoldersText(const std::string& device) {
    return HoldersText(PortHolders().HoldersOf(device));
}

const char* PermissionHint() {
    return "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
           "again.";
}

const char* NoPortsText() {
    return "No serial ports are present; set DEDARIDA_COMn=/dev/... to name one.";
}

} // namespace dedarida
