#include "app/shared/station_window.h"
#include "app/win32/application.h"
#include "app/win32/station/station_window.h"
#include "fleet/station.h"
#include "process/signal_watcher.h"

#include <exception>
#include <optional>
#include <thread>

namespace dedarida {

namespace {

// The station's run on its own thread; an error that escapes it ends it as
// one that keeps it from listening does.
StationTally RunStationOnThread(const UnitSettings& settings, StationBoard& board,
                                StationStop& stop) {
    try {
        return RunStation(settings, board, &stop);
    } catch (const std::exception& error) {
        StationTally tally;
        tally.error = error.what();
        return tally;
    }
}

} // namespace

int RunStationWindow(const UnitSettings& settings, const StationInfo& info) {
    StationStop stop;
    // Ctrl-C, Ctrl-Break and a closed console stop the station as they do
    // without a window.
    const SignalWatcher interrupts([&stop] { stop.Stop(); });
    Application application;
    StationBoard board(info);
    StationWindow window(board, stop);
    window.Show();
    std::optional<StationTally> tally;
    std::thread station([&] {
        tally = RunStationOnThread(settings, board, stop);
        application.MainQueue().Post(
            [&window, error = tally->error] { window.StationEnded(error); });
    });
    try {
        application.Run(window.Handle(), nullptr);
    } catch (...) {
        stop.Stop();
        station.join();
        throw;
    }
    // The window may have gone from under it: the units still end with
    // their records.
    stop.Stop();
    station.join();
    return StationStatus(*tally);
}

} // namespace dedarida
