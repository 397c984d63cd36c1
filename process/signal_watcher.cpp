#include "process/signal_watcher.h"

namespace dedarida {

void SignalWatcher::Notify() {
    signalled_ = true;
    onSignal_();
}

} // namespace dedarida
