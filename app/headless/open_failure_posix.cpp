#include "app/headless/open_failure.h"

#include <cerrno>

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
    case ENODEV:
    case ENXIO:
        return OpenFailure::Missing;
    default:
        return OpenFailure::Other;
    }
}

const char* PermissionHint() {
    return "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in "
           "again.";
}

const char* NoPortsText() {
    return "No serial ports are present; set DEDARIDA_COMn=/dev/... to name one.";
}

} // namespace dedarida
