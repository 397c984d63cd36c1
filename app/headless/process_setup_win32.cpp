#include "app/headless/console_interrupts_win32.h"
#include "app/headless/process_setup.h"

namespace dedarida {

// Windows has neither SIGPIPE nor inherited descriptor numbers to reserve:
// a missing standard handle stays missing, and no file takes its place.
void PrepareProcess() {}

void HoldInterrupts() {
    ConsoleInterrupts::Hold();
}

} // namespace dedarida
