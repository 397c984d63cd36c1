#include "upgrade/timer.h"

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
        } catch (const std::exception& error) {
            window_.SetPanelText(1, error.what());
        }
    }
    finished_ = true;
    main_.Post([] {});
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
