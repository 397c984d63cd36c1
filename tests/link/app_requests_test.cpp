#include "tests/link/link_fixture.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace dedarida::test {
namespace {

using namespace std::chrono_literals;

// An identity reply, "FW ID", split inside its body.
const Bytes ReplyHead = {0x55, 0x3F, 0x30, 0x08, 0x5D, 0x00};
const Bytes ReplyTail = {0x46, 0x57, 0x20, 0x49, 0x44, 0x73};
const Bytes Identity = {0x55, 0x30, 0x3F, 0x02, 0x03, 0xC9};

// Wide enough that a slow (sanitised) machine never reaches it by accident.
constexpr ReplyWaitBounds Patient{10s, 20s};
constexpr ReplyWaitBounds Short{20ms, 1s};

TEST(SendAppCommand, FramesOfEveryCode) {
    const std::pair<std::uint8_t, Bytes> rows[] = {
        {0x03, {0x55, 0x30, 0x3F, 0x02, 0x03, 0xC9}},
        {0xF6, {0x55, 0x30, 0x3F, 0x02, 0xF6, 0xBC}},
        {0x69, {0x55, 0x30, 0x3F, 0x02, 0x69, 0x2F}},
        {0x01, {0x55, 0x30, 0x3F, 0x02, 0x01, 0xC7}},
        // Codes nobody sends get the same length and a proper checksum.
        {0x42, {0x55, 0x30, 0x3F, 0x02, 0x42, 0x08}},
    };
    LinkFixture f;
    for (const auto& [code, frame] : rows) {
        f.link.SendAppCommand(code);
        EXPECT_EQ(f.port.LastWrite(), frame);
        EXPECT_EQ(f.link.LastAppCommand, code);
    }
}

TEST(SendAppCommand, LastAppCommandChangesOnlyAfterASuccessfulWrite) {
    LinkFixture f;
    f.link.LastAppCommand = 0xFF;
    std::uint8_t duringWrite = 0;
    f.port.OnWrite([&](const Bytes&) { duringWrite = f.link.LastAppCommand; });
    f.link.SendAppCommand(0x03);
    EXPECT_EQ(duringWrite, 0xFF);
    EXPECT_EQ(f.link.LastAppCommand, 0x03);

    f.port.OnWrite([](const Bytes&) { throw std::runtime_error("Operation failed: 5"); });
    EXPECT_THROW(f.link.SendAppCommand(0xF6), std::runtime_error);
    EXPECT_EQ(f.link.LastAppCommand, 0x03);
}

// Records whether the reply had been completed when the command went out.
struct WriteWitness {
    explicit WriteWitness(LinkFixture& f) {
        f.port.OnWrite([&f, this](const Bytes&) {
            replyDone = f.link.RxState() == 0 && f.port.Pending() == 0;
        });
    }
    bool replyDone = false;
};

TEST(SendAppCommandWait, FromAnotherThreadWaitsForTheReplyToComplete) {
    LinkFixture f(Patient);
    f.Deliver(ReplyHead);
    ASSERT_NE(f.link.RxState(), 0);
    WriteWitness witness(f);

    std::thread tick([&] { f.link.SendAppCommand(0x03); });
    // Give the tick thread time to reach the wait; correctness does not hang on it.
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(f.port.Writes().empty());
    EXPECT_EQ(f.Deliver(ReplyTail), 1);
    tick.join();

    EXPECT_TRUE(witness.replyDone);
    EXPECT_EQ(f.port.LastWrite(), Identity);
}

TEST(SendAppCommandWait, OnTheMainThreadKeepsRunningTheReceivedDataHandler) {
    LinkFixture f(Patient);
    f.Deliver(ReplyHead);
    WriteWitness witness(f);
    int frames = 0;

    // The event thread hands the handler to the main thread and waits for it.
    std::thread event([&] {
        f.port.Arrive(ReplyTail);
        f.main.RunAndWait([&] { frames = f.Deliver({}); });
    });
    f.link.SendAppCommand(0x03);
    event.join();

    EXPECT_EQ(frames, 1);
    EXPECT_TRUE(witness.replyDone);
    EXPECT_EQ(f.port.LastWrite(), Identity);
}

TEST(SendAppCommandWait, AHandlerThatSendsWhileTheMainThreadWaits) {
    LinkFixture f(Patient);
    f.Deliver(ReplyHead);
    std::thread event([&] {
        f.port.Arrive(ReplyTail);
        f.main.RunAndWait([&] {
            if (f.Deliver({}) == 1)
                f.link.SendAppCommand(0xF6);
        });
    });
    f.link.SendAppCommand(0x03);
    event.join();

    const auto writes = f.port.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], (Bytes{0x55, 0x30, 0x3F, 0x02, 0xF6, 0xBC}));
    EXPECT_EQ(writes[1], Identity);
}

TEST(SendAppCommandWait, AStalledReplyIsDroppedAfterTheBound) {
    LinkFixture f(Short);
    for (bool mainThread : {true, false}) {
        f.Deliver(ReplyHead);
        ASSERT_NE(f.link.RxState(), 0);
        const auto started = std::chrono::steady_clock::now();
        if (mainThread)
            f.link.SendAppCommand(0x03);
        else
            std::thread([&] { f.link.SendAppCommand(0x03); }).join();
        EXPECT_GE(std::chrono::steady_clock::now() - started, 15ms);
        EXPECT_EQ(f.link.RxState(), 0);
        EXPECT_EQ(f.port.LastWrite(), Identity);
        // The tail of the dropped reply is not taken for a frame.
        EXPECT_EQ(f.Deliver(ReplyTail), 0);
    }
}

TEST(SendAppCommandWait, AReplyThatNeverEndsIsDroppedAtTheLimit) {
    LinkFixture f({1s, 30ms});
    f.Deliver(ReplyHead);
    std::atomic<int> deliveries = 0;
    std::thread event([&] {
        // Keeps bytes coming, each delivery within the stall bound.
        for (int i = 0; i < 4; ++i) {
            f.port.Arrive({0x00});
            f.main.RunAndWait([&] {
                f.Deliver({});
                ++deliveries;
            });
        }
    });
    const auto started = std::chrono::steady_clock::now();
    f.link.SendAppCommand(0x03);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 900ms);
    f.main.RunQueuedFor(5s, [&] { return deliveries == 4; });
    event.join();
    EXPECT_EQ(f.port.LastWrite(), Identity);
}

TEST(SendAppCommandWait, TheIdentityFixtureCarriesAGoodChecksum) {
    LinkFixture f;
    EXPECT_EQ(f.Deliver(ReplyHead), 0);
    EXPECT_EQ(f.Deliver(ReplyTail), 1);
    EXPECT_TRUE(
        Link::FrameChecksumOk(static_cast<std::uint8_t>(f.link.RxFrameLength()), f.link.RxFrame()));
}

// A reply handled during the wait switches the link to bootloader mode: the
// command must not follow at the bootloader's speed.
TEST(SendAppCommandWait, NothingIsWrittenOnceAReplyHandledMeanwhileLeftApplicationMode) {
    LinkFixture f(Patient);
    f.Deliver(ReplyHead);
    f.link.LastAppCommand = 0x69;
    std::thread event([&] {
        f.port.Arrive(ReplyTail);
        f.main.RunAndWait([&] {
            if (f.Deliver({}) == 1)
                f.link.SetLinkMode(BootMode);
        });
    });
    EXPECT_FALSE(f.link.SendAppCommand(0x03));
    event.join();
    EXPECT_TRUE(f.port.Writes().empty());
    EXPECT_EQ(f.link.LastAppCommand, 0x69);

    f.link.SetLinkMode(AppMode);
    EXPECT_TRUE(f.link.SendAppCommand(0x03));
    EXPECT_EQ(f.port.LastWrite(), Identity);
}

TEST(SendAppCommandWait, IdleFramerWritesAtOnce) {
    LinkFixture f(Patient);
    f.Deliver({0x55, 0x3F, 0x30, 0x00, 0xC4});
    const auto started = std::chrono::steady_clock::now();
    f.link.SendAppCommand(0x69);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(f.port.LastWrite(), (Bytes{0x55, 0x30, 0x3F, 0x02, 0x69, 0x2F}));
}

} // namespace
} // namespace dedarida::test
