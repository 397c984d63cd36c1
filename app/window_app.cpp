#include "app/window_app.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/port_dialog.h"
#include "app/setup_dialog.h"
#include "app/shared/window_trace.h"

namespace dedarida {

int RunWindow(int argc, char** argv) {
    Application application(argc, argv);
    const auto trace = WindowTraceFromEnvironment();
    TForm1 Form1(application.MainQueue());
    if (trace)
        Form1.Controller().SetTrace(trace.get());
    TForm2 Form2;
    Form1.SetPortDialog(&Form2);
    TForm3 Form3;
    Form1.show();
    const int result = application.exec();
    Form1.SetPortDialog(nullptr);
    return result;
}

} // namespace dedarida
