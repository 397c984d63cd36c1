// Handlers and posted routines that open or close the port they belong to.
#include "tests/serial/fake_driver.h"
#include "tests/serial/port_error.h"

#include <csignal>
#include <cstdio>
#include <future>
#include <unistd.h>

using namespace dedarida;
using namespace dedarida::test;
using namespace std::chrono_literals;

namespace {

// Ends the test program when a case hangs, instead of stalling the run.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
                  std::fprintf(stderr, "watchdog: the case hung\n");
                  _exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

class ReentrantPort : public FakePortTest {
protected:
    void DeliverOnce(std::uint32_t bits) {
        line->Raise(bits);
        // An smNone handler queues nothing that would end the wait early.
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        while (!handled && std::chrono::steady_clock::now() < deadline)
            main.RunQueuedFor(10ms, [&] { return handled.load(); });
    }
    std::atomic<bool> handled = false;
    std::string error;
};

TEST_F(ReentrantPort, CloseOrOpenInsideAHandlerRaisesOnEveryThread) {
    for (const TSyncMethod method :
         {TSyncMethod::smSynchronize, TSyncMethod::smWindow, TSyncMethod::smNone}) {
        SCOPED_TRACE(static_cast<int>(method));
        Watchdog watchdog(2s);
        handled = false;
        port.SetSyncMethod(method);
        port.SetOnCTS([&](TComPort& sender) {
            error = PortError([&] { sender.Close(); }) + "|" + PortError([&] { sender.Open(); });
            handled = true;
        });
        port.Open();
        DeliverOnce(event_bit::CTS);
        ASSERT_TRUE(handled);
        EXPECT_EQ(error, "Cannot open or close the port inside its own event handler|"
                         "Cannot open or close the port inside its own event handler");
        EXPECT_TRUE(port.Connected());
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
}

// A routine posted to the main thread runs while Close waits for the event
// thread; its own Close must neither close the device under that thread nor
// fire OnClose a second time.
TEST_F(ReentrantPort, ACloseInsideAnotherClosesWaitClosesOnce) {
    Watchdog watchdog(2s);
    int closes = 0;
    port.SetOnClose([&](TComPort&) { ++closes; });
    port.Open();
    std::string nestedOpen;
    main.Post([&] {
        port.Close();
        nestedOpen = PortError([&] { port.Open(); });
        handled = true;
    });
    // A delivery behind the routine keeps the event thread from ending before
    // Close runs what is queued.
    line->Raise(event_bit::CTS);
    while (!line->EventsTaken())
        std::this_thread::sleep_for(1ms);
    port.Close();
    EXPECT_TRUE(handled);
    EXPECT_EQ(nestedOpen, "Cannot open the port while it is being closed");
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(line->Count("Close"), 1u);
    EXPECT_FALSE(port.Connected());
    port.Open(); // and the port opens again afterwards
    EXPECT_TRUE(port.Connected());
    // Closed here, while the handler's counter still lives.
    port.Close();
    EXPECT_EQ(closes, 2);
}

// A delivery queued before Close runs inside its wait: the handler's Close
// is refused, the outer one completes.
TEST_F(ReentrantPort, ADeliveryRunInsideCloseCannotCloseAgain) {
    Watchdog watchdog(2s);
    int closes = 0;
    port.SetOnClose([&](TComPort&) { ++closes; });
    port.SetOnCTS([&](TComPort& sender) {
        error = PortError([&] { sender.Close(); });
        handled = true;
    });
    port.Open();
    line->Raise(event_bit::CTS);
    while (!line->EventsTaken())
        std::this_thread::sleep_for(1ms);
    port.Close();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(line->Count("Close"), 1u);
    EXPECT_TRUE(handled);
    EXPECT_EQ(error, "Cannot open or close the port inside its own event handler");
}

TEST_F(ReentrantPort, AFailedEventWaitReportsTheLostLineOnce) {
    int lost = 0;
    int errors = 0;
    port.SetOnLineLost([&](TComPort&) { ++lost; });
    port.SetOnError([&](TComPort&) { ++errors; });
    port.Open();
    line->Lose();
    main.RunQueuedFor(2s, [&] { return lost == 1; });
    main.RunQueuedFor(100ms, [] { return false; });
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(errors, 0);
    port.Close();
}

// A line lost while a handler shows a modal box (whose loop runs what is
// posted) once left the port open with its event thread gone: the lost-line
// handler's Close was refused inside the other handler.
TEST_F(ReentrantPort, ALineLostDuringAModalHandlerClosesOnceTheHandlerReturns) {
    Watchdog watchdog(4s);
    int lost = 0;
    bool lostInsideModal = false;
    bool inModal = false;
    port.SetOnLineLost([&](TComPort& sender) {
        lostInsideModal = inModal;
        sender.Close();
        ++lost;
    });
    port.SetOnCTS([&](TComPort& sender) {
        inModal = true;
        // The adapter is pulled: the next data call fails with it.
        {
            std::lock_guard lock(line->mutex);
            line->failCall = "InputCount";
            line->failError = ENODEV;
        }
        EXPECT_FALSE(PortError([&] { sender.InputCount(); }).empty());
        main.RunQueuedFor(300ms, [] { return false; });
        inModal = false;
        handled = true;
    });
    port.Open();
    line->Raise(event_bit::CTS);
    main.RunQueuedFor(3s, [&] { return lost == 1; });
    EXPECT_TRUE(handled);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(lostInsideModal);
    EXPECT_FALSE(port.Connected());
}

// A failure that does not mean a lost line (an interrupted wait) is looked
// at again after a pause: no report, no spin, and events flow again.
TEST_F(ReentrantPort, AnotherFailedEventWaitIsRetriedAfterAPause) {
    int lost = 0;
    int cts = 0;
    port.SetOnLineLost([&](TComPort&) { ++lost; });
    port.SetOnCTS([&](TComPort&) { ++cts; });
    port.Open();
    line->FailWaits(EINTR, 3);
    line->Raise(event_bit::CTS);
    main.RunQueuedFor(2s, [&] { return cts == 1; });
    EXPECT_EQ(cts, 1);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(line->waitsFailed, 3);
    port.Close();
}

} // namespace
