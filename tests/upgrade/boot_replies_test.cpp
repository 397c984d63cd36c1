// A hostile device against the tool: answers that come late, twice or
// corrupt, end to end over a pty.
#include "tests/upgrade/upgrade_checks.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace dedarida;
using namespace dedarida::test;
using sim::RequestKind;

namespace {

// Index of the first transcript entry in `direction` whose meaning is `meaning`.
std::size_t TranscriptIndex(UpgradeBench& bench, sim::Direction direction,
                            const std::string& meaning) {
    const auto transcript = bench.Device().Transcript();
    for (std::size_t i = 0; i < transcript.size(); ++i)
        if (transcript[i].direction == direction && transcript[i].meaning == meaning)
            return i;
    return transcript.size();
}

unsigned Discarded(const UpgradeBench& bench) {
    unsigned count = 0;
    for (const std::string& line : bench.TraceLines())
        count += line.find("| reply discarded: ") != std::string::npos;
    return count;
}

} // namespace

// The late double of the Poll answer arrives while the erase runs; it names
// Poll, so the blocks wait for the device's own erase answer.
TEST(DeviceFaults, ALatePollAnswerIsNotTakenForTheEraseAnswer) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.latePollAnswer = true;
        c.faults.latePollDelay = 100ms;
        c.eraseTime = 400ms;
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    const std::size_t firstBlock =
        TranscriptIndex(bench, sim::Direction::ToDevice, "Program 0x0E8800");
    const std::size_t eraseAnswer =
        TranscriptIndex(bench, sim::Direction::FromDevice, "reply to command 2: status 0x00");
    EXPECT_LT(eraseAnswer, firstBlock);
    EXPECT_EQ(bench.Requests(RequestKind::Program), 86u);
    EXPECT_EQ(bench.Tool().MismatchedReplies, 1);
    EXPECT_EQ(bench.Traced("reply discarded: it answers Poll, but Erase Flash was written last"),
              1u);
}

// A double arriving after the next block went out cannot be told from that
// block's answer, so the tool runs ahead of the device; but no block answer
// is taken for the final check's: success comes from the device's own
// answer to Start Application.
TEST(DeviceFaults, EveryBlockAnsweredTwiceStillEndsOnTheDevicesOwnCheck) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.doubleAck = true;
        c.faults.doubleAckDelay = 5ms;
        c.programTime = 10ms;
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Traced("status 0 (done) to Start Application"), 1u);
    EXPECT_EQ(bench.Device().Status().checkPassed, true);
    EXPECT_EQ(bench.Device().Status().blocksStored, 86u);
    EXPECT_EQ(bench.Requests(RequestKind::Start), 1u);

    std::vector<std::string> blocks;
    for (const auto& entry : bench.Device().Transcript())
        if (entry.direction == sim::Direction::ToDevice && entry.meaning.starts_with("Program "))
            blocks.push_back(entry.meaning);
    ASSERT_EQ(blocks.size(), 86u);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "Program 0x%06X",
                      static_cast<unsigned>(0x0E8800 + 1024 * k));
        EXPECT_EQ(blocks[k], expected);
    }
    EXPECT_GT(bench.Tool().MismatchedReplies, 0);
    EXPECT_EQ(static_cast<unsigned>(bench.Tool().MismatchedReplies.load()), Discarded(bench));
}

TEST(DeviceFaults, ABadChecksumOnThePollAnswerMeansTheNextPoll) {
    UpgradeBench bench([](sim::SimConfig& c) {
        c.faults.corruptChecksum = {{RequestKind::Poll, 1}};
    });
    bench.Tool().Button1Click();
    ExpectProgrammed(bench);
    EXPECT_EQ(bench.Requests(RequestKind::Poll), 2u);
}
