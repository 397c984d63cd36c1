#include "app/headless/headless.h"
#include "app/headless/headless_options.h"
#include "app/headless/process_setup.h"
#include "app/window_app.h"

int main(int argc, char** argv) {
    dedarida::PrepareProcess();
    if (dedarida::WantsHeadless(argc))
        return dedarida::RunHeadless(argc, argv);
    return dedarida::RunWindow(argc, argv);
}
