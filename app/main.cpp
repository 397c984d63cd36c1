#include "app/headless/headless.h"
#include "app/headless/headless_options.h"
#include "app/headless/process_setup.h"
#include "app/headless/program_arguments.h"
#include "app/shared/window_app.h"

int main(int argc, char** argv) {
    dedarida::PrepareProcess();
    dedarida::ProgramArguments arguments(argc, argv);
    if (dedarida::WantsHeadless(arguments.Count())) {
        dedarida::HoldInterrupts();
        return dedarida::RunHeadless(arguments.Count(), arguments.Values());
    }
    return dedarida::RunWindow(arguments.Count(), arguments.Values());
}
