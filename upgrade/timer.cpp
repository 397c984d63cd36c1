#include "upgrade/timer.h"

#include "ports/port_diagnosis.h"
#include "upgrade/programmer.h"

#include <chrono>
#include <exception>

namespace dedarida {

Timer::Timer(Programmer& programmer, ProgrammerWindow& window, MainThread& main)
    : programmer_(programmer), window_(window), main_(main), thread_([this] { Execute(); }) {}

Timer::~Timer() {
    Stop();
}

void Timer::Execute() {
    while (programmer_.TickEvent.Wait([this] { return stopping_.load(); }) && !stopping_) {
        try {
            programmer_.Tick();
        } catch (...) {
            Report(std::current_exception());
        }
    }
    finished_ = true;
    main_.Post([] {});
}

// Whatever a tick raised is shown, and the ticks go on; not even a failure
// to show it may end the thread that opens the port again.
void Timer::Report(std::exception_ptr failure) noexcept {
    try {
        std::string text = "The tick failed for a reason of unknown kind";
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            text = InWords(error);
        } catch (...) {
        }
        window_.SetPanelText(1, text);
    } catch (...) {
    }
}

void Timer::Stop() {
    if (!thread_.joinable())
        return;
    stopping_ = true;
    programmer_.TickEvent.Interrupt();
    while (!finished_)
        main_.RunQueuedFor(std::chrono::milliseconds(100), [this] { return finished_.load(); });
    thread_.join();
}

} // namespace dedarida
