#include "app/headless/headless_options.h"
#include "app/window_app.h"

#include <cstdio>

namespace dedarida {

// A build without a window: the headless mode is all there is.
int RunWindow(int, char**) {
    std::fprintf(stderr, "dedarida: this build has no window; use --upgrade.\n\n%s", HeadlessUsage);
    return 64;
}

} // namespace dedarida
