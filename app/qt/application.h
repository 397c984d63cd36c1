#pragma once

#include "app/shared/form_design.h"
#include "serial/run_queue.h"

#include <QApplication>

namespace dedarida {

// The application object: title "RU Zededir", no help file, the default error
// box for any exception that reaches the event loop, and the core's main
// thread, whose queued routines Qt's loop runs. Construct it on the main thread;
// `argc` and `argv` must outlive it.
class Application : public QApplication {
public:
    static constexpr const char* Title = ApplicationTitle;

    Application(int& argc, char** argv);

    MainThread& MainQueue() { return queue_; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    RunQueue queue_;
};

} // namespace dedarida
