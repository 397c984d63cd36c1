#include "app/cli/headless.h"
#include "app/cli/headless_options.h"
#include "app/shared/station_window.h"
#include "app/shared/window_app.h"
#include "process/process_setup.h"
#include "process/program_arguments.h"

int main(int argc, char** argv) {
    dedarida::PrepareProcess();
    dedarida::ProgramArguments arguments(argc, argv);
    if (dedarida::WantsHeadless(arguments.Count())) {
        dedarida::HoldInterrupts();
        return dedarida::RunHeadless(arguments.Count(), arguments.Values(),
                                     &dedarida::RunStationWindow);
    }
    return dedarida::RunWindow(arguments.Count(), arguments.Values());
}
