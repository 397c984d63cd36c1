#include "app/cli/headless_options.h"
#include "app/cli/terminal.h"
#include "app/shared/station_window.h"
#include "app/shared/window_app.h"

#include <cstdio>

namespace dedarida {

// A build without a window: the headless mode is all there is.
int RunWindow(int, char**) {
    WriteText(stderr, "dedarida: this build has no window; use --upgrade.\n\n" +
                          std::string(HeadlessUsage));
    return 64;
}

int RunStationWindow(const UnitSettings&, const StationInfo&) {
    WriteText(stderr, "dedarida: this build has no window; use --station for the station as "
                      "lines\n");
    return 64;
}

} // namespace dedarida
