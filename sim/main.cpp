#include "sim/command_line.h"
#include "sim/sim_device.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using dedarida::sim::SimStatus;

// Wakes the signal wait below when the device thread ends by itself (an error).
void RaiseWhenDeviceEnds(const dedarida::sim::SimDevice& device) {
    while (!device.WaitFor([](const SimStatus& s) { return !s.running; }, std::chrono::hours(24))) {
    }
    if (!device.Status().error.empty()) {
        ::kill(::getpid(), SIGTERM); // to the process: the thread in sigwait() takes it
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string_view> args(argv + 1, argv + argc);
        const auto line = dedarida::sim::ParseCommandLine(args);
        if (line.help) {
            std::cout << dedarida::sim::HelpText();
            return 0;
        }
        // Blocked before any thread starts, so only sigwait() receives them.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);

        dedarida::sim::SimDevice device(line.config);
        device.Start();
        std::cout << device.SlavePath() << std::endl;
        std::thread watcher(RaiseWhenDeviceEnds, std::cref(device));
        int received = 0;
        sigwait(&signals, &received);
        device.Stop();
        watcher.join();
        if (!line.flashOut.empty()) {
            device.WriteFlash(line.flashOut);
        }
        const auto error = device.Status().error;
        if (!error.empty()) {
            std::cerr << "dedarida-sim: " << error << '\n';
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "dedarida-sim: " << e.what() << '\n';
        return 2;
    }
}
