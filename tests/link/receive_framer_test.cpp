#include "tests/link/link_fixture.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace dedarida::test {
namespace {

using FrameList = std::vector<Bytes>;

const Bytes BootReply = {0x10, 0x02, 0x06, 0x00, 0x02, 0x00, 0x08, 0x10, 0x03};
const Bytes BootBody = {0x06, 0x00, 0x02, 0x00, 0x08};
const Bytes ShortAppReply = {0x55, 0x3F, 0x30, 0x00, 0xC4};
const Bytes TextAppReply = {0x55, 0x0F, 0x30, 0x04, 0x5D, 0x00, 0x41, 0x36};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Repeated(const Bytes& frame, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i)
        all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

// Runs the interpreter's loop over `bytes` and collects the frames taken.
struct Receiver : LinkFixture {
    explicit Receiver(std::uint8_t mode) { link.SetLinkMode(mode); }

    FrameList Receive(const Bytes& bytes) {
        port.Arrive(bytes);
        std::vector<Bytes> frames;
        int calls = 0;
        do {
            link.ReceiveFrames();
            if (link.TakeFrame())
                frames.push_back(Taken());
            EXPECT_LT(++calls, 10000) << "the receive loop does not end";
        } while (link.MoreToReceive() && calls < 10000);
        return frames;
    }
    Bytes Taken() const {
        const std::int32_t length = link.RxFrameLength() + (link.LinkMode() == AppMode ? 1 : 0);
        EXPECT_LE(length, static_cast<std::int32_t>(RxFrameSize));
        return Bytes(link.RxFrame().begin(), link.RxFrame().begin() + length);
    }
};

TEST(BootFramer, ReplyWholeOrInAnyPieces) {
    Receiver whole(BootMode);
    EXPECT_EQ(whole.Receive(BootReply), FrameList{BootBody});
    for (std::size_t split = 1; split < BootReply.size(); ++split) {
        Receiver r(BootMode);
        auto frames = r.Receive(Bytes(BootReply.begin(), BootReply.begin() + split));
        EXPECT_TRUE(frames.empty());
        frames = r.Receive(Bytes(BootReply.begin() + split, BootReply.end()));
        EXPECT_EQ(frames, FrameList{BootBody}) << split;
    }
    Receiver bytewise(BootMode);
    std::vector<Bytes> frames;
    for (std::uint8_t byte : BootReply)
        for (Bytes& frame : bytewise.Receive({byte}))
            frames.push_back(frame);
    EXPECT_EQ(frames, FrameList{BootBody});
}

TEST(BootFramer, DlePairsInsideTheBody) {
    Receiver r(BootMode);
    const auto frames = r.Receive({0x10, 0x02, 0x05, 0x10, 0x10, 0x10, 0x41, 0x07, 0x10, 0x03});
    EXPECT_EQ(frames, (FrameList{{0x05, 0x10, 0x41, 0x07}}));
}

TEST(BootFramer, DleEndOutsideAFrameIsDropped) {
    // Straight on the framer: the receive loop would empty RxBuffer anyway.
    ReceiveFramer framer;
    const Bytes bytes = {0x10, 0x05, 0x41};
    std::copy(bytes.begin(), bytes.end(), framer.FreeSpace().begin());
    framer.Received(3);
    framer.Scan(true);
    EXPECT_EQ(framer.RxCount(), 0);
    EXPECT_EQ(framer.RxState(), 0);
    EXPECT_FALSE(framer.TakeFrame());

    // What follows 10 05 is hunted afresh: 02 is no start of a reply.
    Receiver r(BootMode);
    EXPECT_TRUE(r.Receive({0x10, 0x05, 0x02, 0x06, 0x00, 0x02, 0x00, 0x08, 0x10, 0x03}).empty());
    EXPECT_EQ(r.Receive(BootReply), FrameList{BootBody});
}

// Each is interpreted in turn, so a second answer to one request is seen.
TEST(BootFramer, AReplyFollowedByAnotherInTheSameReadIsNotLost) {
    Receiver r(BootMode);
    const Bytes second = {0x10, 0x02, 0x05, 0x00, 0x03, 0x01, 0x09, 0x10, 0x03};
    EXPECT_EQ(r.Receive(Join({BootReply, second})),
              (FrameList{BootBody, {0x05, 0x00, 0x03, 0x01, 0x09}}));
}

TEST(BootFramer, ABodyTooLongForRxFrameIsDropped) {
    Receiver r(BootMode);
    Bytes fits = {0x10, 0x02};
    fits.insert(fits.end(), RxFrameSize, 0x41);
    fits.insert(fits.end(), {0x10, 0x03});
    ASSERT_EQ(r.Receive(fits).size(), 1u);
    EXPECT_EQ(r.link.RxFrameLength(), 42);

    // Its stuffed rest holds 10 10 02 and 10 10 03: neither may pass for a frame.
    Bytes tooLong = {0x10, 0x02};
    tooLong.insert(tooLong.end(), RxFrameSize, 0x41);
    tooLong.insert(tooLong.end(), {0x42, 0x10, 0x10, 0x02, 0x44, 0x10, 0x10, 0x03, 0x10, 0x03});
    EXPECT_EQ(r.Receive(Join({tooLong, BootReply})), FrameList{BootBody});
    EXPECT_EQ(r.Receive(tooLong), FrameList{});
}

TEST(AppFramer, ReplyWholeOrByteByByte) {
    Receiver whole(AppMode);
    EXPECT_EQ(whole.Receive(TextAppReply), FrameList{TextAppReply});
    Receiver bytewise(AppMode);
    FrameList frames;
    for (std::uint8_t byte : TextAppReply)
        for (Bytes& frame : bytewise.Receive({byte}))
            frames.push_back(frame);
    EXPECT_EQ(frames, FrameList{TextAppReply});
}

TEST(AppFramer, NoiseBeforeTheStartByteIsDropped) {
    Receiver r(AppMode);
    EXPECT_EQ(r.Receive(Join({{0x00, 0x3F, 0x30, 0x10, 0x02}, TextAppReply})),
              FrameList{TextAppReply});
}

TEST(AppFramer, LengthOf42OrMoreDropsTheFrame) {
    for (std::uint8_t length : {42, 43, 255}) {
        Receiver r(AppMode);
        EXPECT_EQ(r.Receive(Join({{0x55, 0x3F, 0x30, length, 0x01}, ShortAppReply})),
                  FrameList{ShortAppReply});
    }
}

TEST(AppFramer, LengthZeroStillTakesTheChecksum) {
    Receiver r(AppMode);
    EXPECT_EQ(r.Receive(ShortAppReply), FrameList{ShortAppReply});
    EXPECT_EQ(r.link.RxFrameLength(), 4);
}

TEST(AppFramer, TwoRepliesGiveTwoFramesInConsecutiveCalls) {
    ReceiveFramer framer;
    const Bytes both = Join({TextAppReply, ShortAppReply});
    std::copy(both.begin(), both.end(), framer.FreeSpace().begin());
    framer.Received(static_cast<std::int32_t>(both.size()));

    framer.Scan(false);
    EXPECT_TRUE(framer.TakeFrame());
    EXPECT_EQ(framer.RxFrameLength(), 7);
    EXPECT_EQ(framer.ScanPos(), 8);
    EXPECT_EQ(framer.RxCount(), 13);

    framer.Scan(false);
    EXPECT_TRUE(framer.TakeFrame());
    EXPECT_EQ(framer.RxFrameLength(), 4);
    EXPECT_EQ(framer.RxCount(), 0);
    EXPECT_EQ(framer.ScanPos(), 0);
}

// Regression: a skip counted from the buffer's start moved ScanPos back onto
// the rejected frame, and the receive loop never ended.
TEST(AppFramer, RejectedFrameAfterAnotherIsSkippedAndTheLoopEnds) {
    Receiver r(AppMode);
    const Bytes rejected = {0x55, 0x41, 0x30, 0x02, 0x55, 0x3F};
    EXPECT_EQ(r.Receive(Join({ShortAppReply, rejected, TextAppReply})),
              (FrameList{ShortAppReply, TextAppReply}));
}

TEST(AppFramer, RejectedFrameWithoutItsLengthYet) {
    ReceiveFramer framer;
    const Bytes head = {0x00, 0x55, 0x41};
    std::copy(head.begin(), head.end(), framer.FreeSpace().begin());
    framer.Received(3);
    EXPECT_TRUE(framer.Scan(false));
    EXPECT_EQ(framer.ScanPos(), 3);
    EXPECT_EQ(framer.RxState(), 0);

    Receiver r(AppMode);
    EXPECT_TRUE(r.Receive({0x55, 0x41, 0x55}).empty());
    EXPECT_EQ(r.Receive({0x3F, 0x30, 0x00, 0xC4}), FrameList{ShortAppReply});
}

TEST(AppFramer, ReplyTooLongForRxFrameIsPassedOver) {
    for (std::uint8_t length : {39, 40, 41}) {
        Receiver r(AppMode);
        // Its body carries what looks like a reply.
        Bytes tooLong = {0x55, 0x3F, 0x30, length};
        tooLong.insert(tooLong.end(), ShortAppReply.begin(), ShortAppReply.end());
        tooLong.resize(length + 4u, 0x20);
        EXPECT_EQ(r.Receive(Join({tooLong, TextAppReply})), FrameList{TextAppReply}) << int(length);
    }
    Receiver r(AppMode);
    Bytes longest = {0x55, 0x3F, 0x30, 38};
    longest.resize(RxFrameSize, 0x20);
    EXPECT_EQ(r.Receive(longest), FrameList{longest});
}

TEST(Drain, MoreThanRxBufferLosesNoByte) {
    Receiver r(AppMode);
    const Bytes flood = Repeated(ShortAppReply, 1000);
    r.port.Arrive(flood);
    r.link.ReceiveFrames();
    EXPECT_LE(r.link.RxCount(), static_cast<std::int32_t>(RxBufferSize));
    EXPECT_EQ(r.port.Pending() + static_cast<std::size_t>(r.link.RxCount()), flood.size());
    EXPECT_TRUE(r.link.TakeFrame());
    EXPECT_EQ(r.Receive({}).size(), 999u);
    EXPECT_EQ(r.port.Pending(), 0u);
}

// The line is lost once the port has reported its queue empty: the reply read
// before must still come out. It did not when the drain after the scan ran
// before the reply was taken.
TEST(Drain, AReplyAlreadyReadSurvivesAPortFailureAfterIt) {
    for (const auto& [mode, reply, frame] : {std::tuple{BootMode, BootReply, BootBody},
                                             std::tuple{AppMode, TextAppReply, TextAppReply}}) {
        Receiver r(mode);
        int emptyReports = 0;
        r.port.OnInputCount([&](std::int32_t waiting) {
            if (waiting == 0 && ++emptyReports > 1)
                throw std::runtime_error("Unable to read com status: 5");
        });
        r.port.Arrive(reply);
        ASSERT_NO_THROW(r.link.ReceiveFrames());
        ASSERT_TRUE(r.link.TakeFrame());
        EXPECT_EQ(r.Taken(), frame);
        EXPECT_FALSE(r.link.MoreToReceive());
    }
}

TEST(Drain, WhatAFullBufferLeftInThePortKeepsTheLoopGoing) {
    Receiver r(BootMode);
    // Bootloader replies of 9 bytes: 233 fill RxBuffer but for 3 bytes.
    const Bytes flood = Repeated(BootReply, 240);
    r.port.Arrive(flood);
    r.link.ReceiveFrames();
    EXPECT_TRUE(r.link.TakeFrame());
    EXPECT_TRUE(r.link.MoreToReceive());
    EXPECT_EQ(r.Receive({}), FrameList(239, BootBody));
    EXPECT_EQ(r.port.Pending(), 0u);
    EXPECT_FALSE(r.link.MoreToReceive());
}

TEST(LinkModeSwitch, DropsAFrameCutOffByTheSwitch) {
    Receiver r(BootMode);
    EXPECT_TRUE(r.Receive({0x10, 0x02, 0x05, 0x00}).empty());
    r.link.SetLinkMode(AppMode);
    EXPECT_EQ(r.link.RxState(), 0);
    EXPECT_EQ(r.Receive(ShortAppReply), FrameList{ShortAppReply});

    EXPECT_TRUE(r.Receive({0x55, 0x3F, 0x30}).empty());
    r.link.SetLinkMode(BootMode);
    EXPECT_EQ(r.Receive(BootReply), FrameList{BootBody});
}

TEST(LinkModeSwitch, SameModeKeepsThePartialFrame) {
    Receiver r(BootMode);
    r.Receive({0x10, 0x02, 0x06, 0x00});
    r.link.SetLinkMode(BootMode);
    EXPECT_EQ(r.Receive({0x02, 0x00, 0x08, 0x10, 0x03}), FrameList{BootBody});
}

// Regression: clearing RxCount alone left ScanPos behind, and the next bytes
// received were never fed.
TEST(ClearRxBuffer, TheNextBytesAreFedFromTheFront) {
    Receiver r(AppMode);
    r.port.Arrive(Join({TextAppReply, ShortAppReply}));
    r.link.ReceiveFrames();
    ASSERT_TRUE(r.link.TakeFrame());
    r.link.ClearRxBuffer();
    EXPECT_EQ(r.link.RxCount(), 0);
    EXPECT_EQ(r.Receive(ShortAppReply), FrameList{ShortAppReply});
}

TEST(ClearRxBuffer, OtherThreadsClearAndSwitchWhileBytesArrive) {
    Receiver r(AppMode);
    std::atomic<bool> done = false;
    std::thread tick([&] {
        for (int i = 0; !done; ++i) {
            r.link.ClearRxBuffer();
            r.link.SetLinkMode(i % 2 == 0 ? BootMode : AppMode);
        }
    });
    for (int i = 0; i < 300; ++i)
        r.Receive(Join({TextAppReply, BootReply, ShortAppReply}));
    done = true;
    tick.join();
}

TEST(FrameChecksumOk, TheFixturesCarryGoodChecksums) {
    for (const Bytes& frame : {ShortAppReply, TextAppReply}) {
        TRxFrame copy{};
        std::copy(frame.begin(), frame.end(), copy.begin());
        EXPECT_TRUE(Link::FrameChecksumOk(static_cast<std::uint8_t>(frame.size() - 1), copy));
    }
    TRxFrame body{};
    std::copy(BootBody.begin(), BootBody.end(), body.begin());
    EXPECT_TRUE(Link::FrameChecksumOk(static_cast<std::uint8_t>(BootBody.size() - 1), body));
}

TEST(FrameChecksumOk, CountsAsEightBitsAndStaysInsideTheFrame) {
    TRxFrame frame{0x55, 0x3F, 0x30, 0x01, 0xC5};
    EXPECT_TRUE(Link::FrameChecksumOk(4, frame));
    EXPECT_FALSE(Link::FrameChecksumOk(3, frame));
    frame[4] = 0xC6;
    EXPECT_FALSE(Link::FrameChecksumOk(4, frame));

    TRxFrame zeros{};
    EXPECT_FALSE(Link::FrameChecksumOk(0, zeros));
    EXPECT_TRUE(Link::FrameChecksumOk(41, zeros));
    EXPECT_FALSE(Link::FrameChecksumOk(42, zeros));
    EXPECT_FALSE(Link::FrameChecksumOk(255, zeros));
    // 0x100 + 4 taken as 8 bits is 4.
    EXPECT_TRUE(Link::FrameChecksumOk(static_cast<std::uint8_t>(0x104),
                                      frame = {0x55, 0x3F, 0x30, 0x01, 0xC5}));
}

} // namespace
} // namespace dedarida::test
