#include "sim/sim_device.h"
#include "tests/sim/scripted_host.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace dedarida::sim::test {
namespace {

TEST(SimTranscript, JsonLineCarriesTimeDirectionSpeedBytesAndMeaning) {
    const TranscriptEntry entry{std::chrono::microseconds(1200), Direction::FromDevice, 4800,
                                "553F30", "\"FW\" \\ \x01"};
    EXPECT_EQ(ToJsonLine(entry),
              "{\"t_us\":1200,\"dir\":\"out\",\"baud\":4800,\"bytes\":\"553F30\","
              "\"meaning\":\"\\\"FW\\\" \\\\ \\u0001\"}");
}

TEST(SimTranscript, RecordsEveryFrameOfAnExchangeInMemoryAndInTheFile) {
    const std::string path = "/tmp/dedarida-sim-transcript-" + std::to_string(::getpid());
    auto config = FastConfig();
    config.transcriptPath = path;
    SimDevice device(config);
    device.Start();
    ScriptedHost host(device.SlavePath());
    ASSERT_EQ(host.Exchange(IdentityRequest, IdentityReply.size()), IdentityReply);
    device.Stop();

    std::vector<TranscriptEntry> frames;
    for (const auto& entry : device.Transcript()) {
        if (entry.direction != Direction::Event) {
            frames.push_back(entry);
        }
    }
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].direction, Direction::ToDevice);
    EXPECT_EQ(frames[0].baud, 4800U);
    EXPECT_EQ(frames[0].bytes, "55303F0203C9");
    EXPECT_EQ(frames[0].meaning, "identity request");
    EXPECT_EQ(frames[1].direction, Direction::FromDevice);
    EXPECT_EQ(frames[1].bytes, "553F300E5D034657204944202076342E31C5");
    EXPECT_LE(frames[0].time, frames[1].time);

    std::ifstream file(path);
    std::string line;
    std::size_t lines = 0;
    while (std::getline(file, line)) {
        EXPECT_EQ(line, ToJsonLine(device.Transcript()[lines]));
        ++lines;
    }
    EXPECT_EQ(lines, device.Transcript().size());
    ::unlink(path.c_str());
}

TEST(SimTranscript, WritesTheFlashContentsOnRequest) {
    const std::string path = "/tmp/dedarida-sim-flash-" + std::to_string(::getpid());
    auto config = FastConfig();
    config.startMode = DeviceMode::Bootloader;
    SimDevice device(config);
    device.Start();
    ScriptedHost host(device.SlavePath(), B38400);
    ASSERT_EQ(host.Exchange(EraseRequest, EraseOk.size()), EraseOk);
    ASSERT_EQ(host.Exchange(BlockRequest(0x0E8800, TestBlock(0)), ProgramOk.size()), ProgramOk);
    device.Stop();
    device.WriteFlash(path);
    std::ifstream file(path, std::ios::binary);
    const Bytes written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), 88064U);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 1024), TestBlock(0));
    EXPECT_EQ(written[1024], 0xFF);
    ::unlink(path.c_str());
}

} // namespace
} // namespace dedarida::sim::test
