#include "process/process_setup.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace dedarida {

namespace {

// A supervisor killed outright cannot pass an interrupt on, and its children
// would go on holding their ports. The signal is blocked in a child (it
// inherits its supervisor's watcher's mask), so it waits for the child's own
// watcher, which ends the upgrade with its record.
void EndWithSupervisor() {
    const char* supervisor = std::getenv(SupervisorVariable);
    if (supervisor == nullptr)
        return;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // It may have ended before the line above.
    if (std::to_string(getppid()) != supervisor)
        kill(getpid(), SIGTERM);
    unsetenv(SupervisorVariable);
}

} // namespace

void PrepareProcess() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0) {
            // The lowest free descriptor is this one.
            const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd)
                close(null);
        }
    std::signal(SIGPIPE, SIG_IGN);
    // Ignored, as a parent may leave it, the system reaps children itself and
    // their exit status is lost.
    std::signal(SIGCHLD, SIG_DFL);
    EndWithSupervisor();
}

void HoldInterrupts() {}

} // namespace dedarida
