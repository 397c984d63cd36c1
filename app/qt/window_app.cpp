#include "app/shared/window_app.h"

#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "app/qt/no_display.h"
#include "app/qt/port_dialog.h"
#include "app/qt/setup_dialog.h"
#include "app/qt/window_lifeline.h"
#include "app/shared/window_trace.h"

#include <cstdio>
#include <memory>

namespace dedarida {

namespace {

std::unique_ptr<Application> StartApplication(int& argc, char** argv) {
    const NoDisplayExit noAbort;
    return std::make_unique<Application>(argc, argv);
}

} // namespace

int RunWindow(int argc, char** argv) {
    if (!DisplayNamed()) {
        std::fprintf(stderr, "%s\n", NoDisplayText);
        return NoDisplayStatus;
    }
    const std::unique_ptr<Application> started = StartApplication(argc, argv);
    Application& application = *started;
    const auto trace = WindowTraceFromEnvironment();
    TForm1 Form1(application.MainQueue());
    if (trace)
        Form1.Controller().SetTrace(trace.get());
    TForm2 Form2;
    Form1.SetPortDialog(&Form2);
    TForm3 Form3;
    Form1.show();
    WindowLifeline lifeline(Form1);
    application.installNativeEventFilter(&lifeline);
    const int result = application.exec();
    application.removeNativeEventFilter(&lifeline);
    Form1.SetPortDialog(nullptr);
    return result;
}

} // namespace dedarida
