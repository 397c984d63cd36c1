#include "serial/comport.h"
#include "serial/run_queue.h"
#include "tests/serial/fake_driver.h"
#include "tests/serial/port_error.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace dedarida;
using namespace std::chrono_literals;
using dedarida::test::FakeDriver;
using dedarida::test::FakeLine;
using dedarida::test::PortError;

namespace {

class ComPortIo : public dedarida::test::FakePortTest {
protected:
    void OpenWith(TEvents events) {
        port.SetEvents(events);
        port.SetDevicePath("/dev/fake");
        port.Open();
    }
    // Runs main-thread deliveries until `done`, at most a few seconds.
    void RunUntil(const std::function<bool()>& done) {
        main.RunQueuedFor(5s, done);
        ASSERT_TRUE(done());
    }

    std::uint8_t buffer[16] = {};
};

TEST_F(ComPortIo, WaitingTransfersCompleteWithNothingLeftPending) {
    OpenWith({});
    EXPECT_EQ(port.Write(buffer, 8, true), 8);
    EXPECT_EQ(port.Read(buffer, 0, true), 0);
    EXPECT_EQ(port.Read(buffer, 5, true), 5);
    EXPECT_EQ(port.WaitForWrite(), -2);
    const std::size_t calls = line->Calls().size();
    port.AbortAll();
    EXPECT_EQ(line->Calls().size(), calls);
}

TEST_F(ComPortIo, PendingOperationsAreCollectedLastFirst) {
    OpenWith({});
    line->nonBlockingPends = true;
    EXPECT_EQ(port.Write(buffer, 3, false), -1);
    EXPECT_EQ(port.Write(buffer, 7, false), -1);
    EXPECT_EQ(port.WaitForWrite(), 7);
    EXPECT_EQ(port.WaitForWrite(), 3);
    EXPECT_EQ(port.WaitForWrite(), -2);
}

TEST_F(ComPortIo, AnEarlierPendingWriteGoesOutFirst) {
    OpenWith({});
    line->nonBlockingPends = true;
    EXPECT_EQ(port.Write(buffer, 3, false), -1);
    EXPECT_EQ(port.Write(buffer, 4, false), -1); // queued behind the first, not started
    EXPECT_EQ(port.Write(buffer, 5, true), 5);
    EXPECT_EQ(line->steps, (std::vector<std::int32_t>{-3, -3, 3, 4, 5}));
    EXPECT_EQ(port.WaitForWrite(), 4);
    EXPECT_EQ(port.WaitForWrite(), 3);
}

TEST_F(ComPortIo, AbortAllDropsEveryPendingOperation) {
    OpenWith({});
    line->nonBlockingPends = true;
    port.Write(buffer, 3, false);
    port.Read(buffer, 4, false);
    port.AbortAll();
    EXPECT_EQ(line->Count("Purge3"), 1U);
    EXPECT_EQ(port.WaitForWrite(), -2);

    port.Write(buffer, 3, false);
    line->failCall = "Purge3";
    line->failError = 9;
    EXPECT_EQ(PortError([&] { port.AbortAll(); }), "Cannot abort operation: 9");
    EXPECT_EQ(port.WaitForWrite(), -2);
}

TEST_F(ComPortIo, FailuresCarryTheirTexts) {
    OpenWith({});
    line->failCall = "Write";
    line->failError = 5;
    EXPECT_EQ(PortError([&] { port.Write(buffer, 1, true); }), "Operation failed: 5");
    EXPECT_EQ(port.WaitForWrite(), -2);
    line->failCall = "InputCount";
    EXPECT_EQ(PortError([&] { port.InputCount(); }), "Unable to read com status: 5");
    port.Close();
    EXPECT_THROW(port.Read(buffer, 1, true), EComPort);
}

// What the port refuses by itself carries the numbers of the system's own
// calls: LastErrorText is errno on Linux and the Win32 code on Windows.
TEST_F(ComPortIo, RefusalsCarryTheSystemsErrorNumbers) {
#ifdef _WIN32
    const std::string notOpen = "6";   // ERROR_INVALID_HANDLE
    const std::string badCount = "87"; // ERROR_INVALID_PARAMETER
#else
    const std::string notOpen = "9";   // EBADF
    const std::string badCount = "22"; // EINVAL
#endif
    EXPECT_EQ(PortError([&] { port.Read(buffer, 1, true); }), "Operation failed: " + notOpen);
    EXPECT_EQ(PortError([&] { port.InputCount(); }), "Unable to read com status: " + notOpen);
    OpenWith({});
    EXPECT_EQ(PortError([&] { port.Write(buffer, -1, true); }), "Operation failed: " + badCount);
}

TEST_F(ComPortIo, ATransferRefusedWhileClosingIsNoLostLine) {
    int lost = 0;
    port.SetOnLineLost([&](TComPort&) { ++lost; });
    OpenWith({});
    std::string refused;
    line->onClose = [&] { refused = PortError([&] { port.Write(buffer, 1, true); }); };
    port.Close();
    main.RunQueued();
    EXPECT_NE(refused, "");
    EXPECT_EQ(lost, 0);
}

TEST_F(ComPortIo, EventsEmptyStartsNoThread) {
    OpenWith({});
    EXPECT_EQ(line->Count("SetCommMask"), 0U);
    port.Close();
    EXPECT_EQ(line->Count("Purge15"), 0U);
}

TEST_F(ComPortIo, MaskFollowsEvents) {
    OpenWith({TEvent::evRxChar});
    EXPECT_EQ(line->mask, 0x0001U);
    port.Close();
    port.SetEvents(TEvents::All());
    port.Open();
    EXPECT_EQ(line->mask, 0x05FFU);
    port.Close();
    EXPECT_EQ(line->Count("Purge15"), 2U); // each thread purges as it ends
}

TEST_F(ComPortIo, BatchIsDeliveredInTableOrderOnTheMainThread) {
    std::vector<std::string> seen;
    const auto note = [&](const char* name) {
        return [&seen, name, this](TComPort&) {
            EXPECT_TRUE(main.IsMainThread());
            seen.push_back(name);
        };
    };
    port.SetOnRxChar(
        [&](TComPort&, std::int32_t inQue) { seen.push_back("RxChar " + std::to_string(inQue)); });
    port.SetOnTxEmpty(note("TxEmpty"));
    port.SetOnCTS(note("CTS"));
    port.SetOnRxFlag(note("RxFlag"));
    port.SetOnRing(note("Ring"));
    OpenWith(TEvents::All());
    line->queued = 4;
    line->Raise(event_bit::TxEmpty | event_bit::RxChar);
    RunUntil([&] { return seen.size() == 2; });
    line->Raise(event_bit::RxFlag | event_bit::CTS | event_bit::Ring);
    RunUntil([&] { return seen.size() == 5; });
    port.Close();
    EXPECT_EQ(seen, (std::vector<std::string>{"RxChar 4", "TxEmpty", "Ring", "CTS", "RxFlag"}));
}

TEST_F(ComPortIo, RxCharGetsTheCountAtDeliveryTime) {
    std::vector<std::int32_t> counts;
    port.SetOnRxChar([&](TComPort&, std::int32_t inQue) { counts.push_back(inQue); });
    OpenWith({TEvent::evRxChar});
    line->queued = 2;
    line->Raise(event_bit::RxChar);
    line->queued = 9; // more arrives before the main thread runs the delivery
    RunUntil([&] { return counts.size() == 1; });
    port.Close();
    EXPECT_EQ(counts, std::vector<std::int32_t>{9});
}

TEST_F(ComPortIo, WindowDeliveryAndNoneDeliveryReachTheHandlers) {
    std::atomic<int> rings = 0;
    port.SetOnRing([&](TComPort&) { ++rings; });
    port.SetSyncMethod(TSyncMethod::smWindow);
    OpenWith({TEvent::evRing});
    line->Raise(event_bit::Ring);
    RunUntil([&] { return rings == 1; });
    port.Close();

    port.SetSyncMethod(TSyncMethod::smNone);
    port.Open();
    line->Raise(event_bit::Ring);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (rings != 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    port.Close();
    EXPECT_EQ(rings, 2);
}

TEST_F(ComPortIo, HandlerErrorEndsDeliveriesButCloseCompletes) {
    int calls = 0;
    port.SetOnRing([&](TComPort&) {
        ++calls;
        throw std::runtime_error("handler");
    });
    OpenWith({TEvent::evRing});
    line->Raise(event_bit::Ring);
    RunUntil([&] { return calls == 1; });
    line->Raise(event_bit::Ring);
    main.RunQueuedFor(30ms, [] { return false; });
    port.Close();
    EXPECT_EQ(calls, 1);
}

TEST_F(ComPortIo, CloseOnTheMainThreadRunsTheQueuedDelivery) {
    std::atomic<int> delivered = 0;
    port.SetOnRxChar([&](TComPort& sender, std::int32_t) {
        EXPECT_TRUE(sender.Connected());
        ++delivered;
    });
    OpenWith({TEvent::evRxChar});
    line->Raise(event_bit::RxChar);
    // Wait until the event thread is blocked on the main thread, without running it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!line->EventsTaken() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(delivered, 1);
}

TEST_F(ComPortIo, OpenAndCloseFromTwoThreadsWhileDelivering) {
    std::atomic<int> delivered = 0;
    port.SetOnRxChar([&](TComPort& sender, std::int32_t) {
        sender.SetBaudRate(delivered % 2 ? TBaudRate::br4800 : TBaudRate::br38400);
        ++delivered;
    });
    OpenWith({TEvent::evRxChar});
    std::atomic<bool> done = false;
    std::thread tick([&] {
        for (int i = 0; i < 20; ++i) {
            line->Raise(event_bit::RxChar);
            port.Close();
            port.Open();
            port.Write(buffer, 2, true);
        }
        done = true;
        main.Post([] {});
    });
    while (!done)
        main.RunQueuedFor(5s, [&] { return done.load(); });
    tick.join();
    port.Close();
    EXPECT_FALSE(port.Connected());
}

} // namespace
