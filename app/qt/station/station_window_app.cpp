#include "app/qt/application.h"
#include "app/qt/no_display.h"
#include "app/qt/station/station_window.h"
#include "app/qt/window_lifeline.h"
#include "app/shared/station_window.h"
#include "fleet/station.h"
#include "process/signal_watcher.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

namespace dedarida {

namespace {

std::unique_ptr<Application> StartApplication() {
    static int argc = 1;
    static char name[] = "dedarida";
    static char* argv[] = {name, nullptr};
    const NoDisplayExit noAbort;
    return std::make_unique<Application>(argc, argv);
}

} // namespace

int RunStationWindow(const UnitSettings& settings, const StationInfo& info) {
    if (!DisplayNamed()) {
        std::fprintf(stderr, "%s\n", NoDisplayText);
        return NoDisplayStatus;
    }
    StationStop stop;
    // Before any thread starts: Ctrl-C, SIGTERM and a closed terminal stop
    // the station as they do without a window, and end no thread of Qt's.
    const SignalWatcher interrupts([&stop] { stop.Stop(); });
    const std::unique_ptr<Application> application = StartApplication();
    StationBoard board(info);
    StationWindow window(board, stop);
    window.show();
    WindowLifeline lifeline(window);
    application->installNativeEventFilter(&lifeline);
    std::optional<StationTally> tally;
    std::thread station([&] {
        tally = RunStation(settings, board, &stop);
        QMetaObject::invokeMethod(
            &window, [&window, error = tally->error] { window.StationEnded(error); },
            Qt::QueuedConnection);
    });
    const int shown = application->exec();
    application->removeNativeEventFilter(&lifeline);
    // The window may have gone from under it: the units still end with
    // their records.
    stop.Stop();
    station.join();
    if (!window.Ended())
        return shown;
    return StationStatus(*tally);
}

} // namespace dedarida
