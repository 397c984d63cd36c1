#include "process/background_thread.h"

#include <pthread.h>
#include <signal.h>

namespace dedarida {

std::thread StartBackgroundThread(std::function<void()> body) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        std::thread thread(std::move(body));
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return thread;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
}

} // namespace dedarida
