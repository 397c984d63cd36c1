#include "app/cli/terminal.h"
#include "app/shared/station_window.h"

#include <cstdio>

namespace dedarida {

int RunStationWindow(const UnitSettings&, const StationInfo&) {
    WriteText(stderr, "dedarida: --station --window is not available on Windows yet; use "
                      "--station for the station as lines\n");
    return 64;
}

} // namespace dedarida
