#include "app/shared/window_app.h"

#include "app/shared/window_trace.h"
#include "app/win32/application.h"
#include "app/win32/main_window.h"
#include "app/win32/port_dialog.h"

namespace dedarida {

int RunWindow(int, char**) {
    Application application;
    const auto trace = WindowTraceFromEnvironment();
    TForm1 Form1(application.MainQueue());
    if (trace)
        Form1.Controller().SetTrace(trace.get());
    TForm2 Form2(Form1.Handle());
    Form1.SetPortDialog(&Form2);
    Form1.Show();
    const int result = application.Run(Form1.Handle(), Form1.Accelerators());
    Form1.SetPortDialog(nullptr);
    return result;
}

} // namespace dedarida
