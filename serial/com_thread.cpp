#include "serial/com_thread.h"

#include "serial/comport.h"
#include "serial/line_events.h"

#include <chrono>

namespace dedarida {

namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(100);
constexpr auto kRetryPause = std::chrono::milliseconds(100);

} // namespace

TComThread::TComThread(TComPort& owner) : owner_(owner), syncMethod_(owner.SyncMethod()) {
    // A refused mask is not an error of Open: the port still moves its bytes,
    // it only hears of no line events.
    owner_.driver_->SetCommMask(EventMaskOf(owner_.Events()));
    thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
    SignalStop();
    if (thread_.joinable())
        thread_.join();
}

void TComThread::SignalStop() {
    {
        std::lock_guard lock(stopMutex_);
        stopRequested_ = true;
    }
    stopChanged_.notify_all();
    StopEvent.Set();
}

void TComThread::Stop() {
    SignalStop();
    std::exception_ptr error;
    MainThread& main = owner_.main_;
    if (main.IsMainThread()) {
        // The thread may be waiting for the main thread to deliver a batch.
        while (!finished_.load()) {
            try {
                main.RunQueuedFor(kWaitSlice, [this] { return finished_.load(); });
            } catch (...) {
                error = std::current_exception();
            }
        }
    }
    thread_.join();
    if (error)
        std::rethrow_exception(error);
}

void TComThread::Execute() {
    SerialDriver& driver = *owner_.driver_;
    try {
        for (;;) {
            const SerialDriver::WaitOutcome outcome = driver.WaitCommEvent(StopEvent, EventMask);
            if (outcome == SerialDriver::WaitOutcome::Events) {
                DispatchEvents();
                continue;
            }
            if (outcome == SerialDriver::WaitOutcome::Stopped)
                break;
            // The device has gone: no line event can come any more, so a
            // program waiting for replies hears of it instead of waiting unaware.
            if (driver.IsLineLost(driver.LastError())) {
                owner_.ReportLineLost();
                break;
            }
            // Any other failure may pass (an interrupted wait): look again
            // after a pause, so that one which repeats cannot spin.
            if (StopWithin(kRetryPause))
                break;
        }
    } catch (...) {
        // A handler's error ends the deliveries; nobody is there to hear it.
    }
    driver.Purge(purge::TxAbort | purge::RxAbort | purge::TxClear | purge::RxClear);
    finished_ = true;
    owner_.main_.Post([] {});
}

bool TComThread::StopWithin(std::chrono::milliseconds pause) {
    std::unique_lock lock(stopMutex_);
    return stopChanged_.wait_for(lock, pause, [this] { return stopRequested_; });
}

void TComThread::DispatchEvents() {
    switch (syncMethod_) {
    case TSyncMethod::smSynchronize:
        owner_.main_.RunAndWait([this] { DeliverEvents(); });
        break;
    case TSyncMethod::smWindow:
        SendEventMessages();
        break;
    case TSyncMethod::smNone:
        DeliverEvents();
        break;
    }
}

void TComThread::SendEventMessages() {
    for (const LineEvent& e : kLineEvents) {
        if ((EventMask & e.bit) == 0)
            continue;
        try {
            owner_.main_.RunAndWait([this, &e] { DeliverEvent(e.event); });
        } catch (...) {
            // A message handler's error belongs to the main thread's loop.
            owner_.main_.Post(
                [error = std::current_exception()] { std::rethrow_exception(error); });
        }
    }
}

void TComThread::DeliverEvents() {
    for (const LineEvent& e : kLineEvents)
        if ((EventMask & e.bit) != 0)
            DeliverEvent(e.event);
}

void TComThread::DeliverEvent(TEvent event) {
    // Marks the handler's thread, so that the port refuses to wait for this
    // thread from inside it.
    struct Delivering {
        TComPort& port;
        explicit Delivering(TComPort& p) : port(p) {
            port.deliveringOn_ = std::this_thread::get_id();
        }
        ~Delivering() {
            port.deliveringOn_ = std::thread::id();
            port.HandlerEnded();
        }
    } delivering(owner_);
    if (event == TEvent::evRxChar) {
        if (const TRxCharEvent handler = owner_.RxCharHandler())
            handler(owner_, owner_.InputCount());
        return;
    }
    if (const TNotifyEvent handler = owner_.LineHandler(event))
        handler(owner_);
}

} // namespace dedarida
