#include "link/boot_command.h"
#include "tests/link/link_fixture.h"

#include <gtest/gtest.h>
#include <numeric>
#include <stdexcept>

namespace dedarida::test {
namespace {

constexpr std::size_t BlockSize = 1024;
constexpr std::size_t BlockFrameLength = 1036;

// The body bytes of a stuffed block frame between 10 04 and 10 05.
Bytes Unstuff(const Bytes& frame) {
    Bytes body;
    for (std::size_t i = 2; i + 2 < frame.size(); ++i) {
        body.push_back(frame[i]);
        if (frame[i] == 0x10)
            ++i;
    }
    return body;
}

std::uint8_t Sum(const Bytes& bytes, std::size_t from, std::size_t to) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin() + from, bytes.begin() + to, 0u));
}

TEST(GetCommandStr, TextsOfTheBootCommands) {
    const std::pair<std::uint8_t, const char*> rows[] = {
        {1, "Poll"}, {2, "Erase Flash"}, {3, "Program"}, {4, "Start Application"}, {6, "Fw Id"}};
    for (const auto& [code, text] : rows) {
        std::string shown;
        GetCommandStr(code, shown);
        EXPECT_EQ(shown, text) << int(code);
    }
    std::string kept = "unchanged";
    GetCommandStr(5, kept);
    GetCommandStr(0, kept);
    EXPECT_EQ(kept, "unchanged");
}

TEST(SendBootCommand, FramesOfPollEraseAndStart) {
    const struct {
        std::uint8_t code;
        Bytes frame;
        const char* panel;
    } rows[] = {
        {BootPoll, {0x10, 0x04, 0x04, 0x00, 0x01, 0x05, 0x10, 0x05}, "Poll"},
        {BootEraseFlash, {0x10, 0x04, 0x04, 0x00, 0x02, 0x06, 0x10, 0x05}, "Erase Flash"},
        {BootStartApplication,
         {0x10, 0x04, 0x04, 0x00, 0x04, 0x08, 0x10, 0x05},
         "Start Application"},
    };
    LinkFixture f;
    for (const auto& row : rows) {
        f.link.SendBootCommand(row.code);
        EXPECT_EQ(f.port.LastWrite(), row.frame);
        EXPECT_EQ(f.link.LastBootCommand, row.code);
        EXPECT_EQ(f.panels.Text(2), row.panel);
    }
    EXPECT_EQ(f.port.Writes().size(), 3u);
}

TEST(SendBootCommand, SetsLastBootCommandBeforeTheWriteAndBlanksUnknownTexts) {
    LinkFixture f;
    f.link.SendBootCommand(BootPoll);
    std::uint8_t duringWrite = 0;
    f.port.OnWrite([&](const Bytes&) { duringWrite = f.link.LastBootCommand; });
    f.link.SendBootCommand(0x07);
    EXPECT_EQ(duringWrite, 0x07);
    EXPECT_EQ(f.port.LastWrite(), (Bytes{0x10, 0x04, 0x04, 0x00, 0x07, 0x0B, 0x10, 0x05}));
    EXPECT_EQ(f.panels.Text(2), "");
}

class DataBlock : public ::testing::Test {
protected:
    // Image bytes without any 0x10 unless a test puts some there.
    DataBlock() {
        for (std::size_t i = 0; i < f.image.size(); ++i)
            f.image[i] = static_cast<std::uint8_t>(0x20 + i % 200);
    }
    Bytes ImageBlock(std::size_t position) const {
        return Bytes(f.image.begin() + position, f.image.begin() + position + BlockSize);
    }

    LinkFixture f;
};

TEST_F(DataBlock, FirstBlockLayout) {
    f.link.SendDataBlock();
    const Bytes frame = f.port.LastWrite();
    ASSERT_EQ(frame.size(), BlockFrameLength);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9),
              (Bytes{0x10, 0x04, 0x08, 0x04, 0x03, 0x00, 0x88, 0x0E, 0x00}));
    EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 1033), ImageBlock(0));
    const Bytes data = ImageBlock(0);
    EXPECT_EQ(frame[1033], static_cast<std::uint8_t>(0xA5 + Sum(data, 0, data.size())));
    EXPECT_EQ(frame[1034], 0x10);
    EXPECT_EQ(frame[1035], 0x05);
    EXPECT_EQ(f.link.BlockPosition, 1024);
    EXPECT_EQ(f.link.LastBootCommand, BootProgram);
    EXPECT_EQ(f.panels.Text(2), "Program");
    EXPECT_EQ(f.port.WaitForWriteCalls(), 1);
}

TEST_F(DataBlock, StuffsEveryDleOfTheData) {
    for (std::size_t i : {0u, 1u, 2u, 500u, 1023u})
        f.image[i] = 0x10;
    f.link.SendDataBlock();
    const Bytes frame = f.port.LastWrite();
    EXPECT_EQ(frame.size(), BlockFrameLength + 5);
    EXPECT_EQ(frame[2], 0x08);
    EXPECT_EQ(frame[3], 0x04);
    EXPECT_EQ(Bytes(frame.begin() + 9, frame.begin() + 13), (Bytes{0x10, 0x10, 0x10, 0x10}));
    const Bytes body = Unstuff(frame);
    ASSERT_EQ(body.size(), 1032u);
    EXPECT_EQ(Bytes(body.begin() + 7, body.begin() + 1031), ImageBlock(0));
    EXPECT_EQ(body[1031], Sum(body, 0, 1031));
}

TEST_F(DataBlock, StuffsAChecksumOfDle) {
    // 0xA5 + 1023 * 0x21 + 0x8C = 0x8510: the checksum is 0x10.
    std::fill_n(f.image.begin(), BlockSize, 0x21);
    f.image[BlockSize - 1] = 0x8C;
    f.link.SendDataBlock();
    const Bytes frame = f.port.LastWrite();
    ASSERT_EQ(frame.size(), BlockFrameLength + 1);
    EXPECT_EQ(Bytes(frame.end() - 4, frame.end()), (Bytes{0x10, 0x10, 0x10, 0x05}));
}

TEST_F(DataBlock, StuffsTheAddressAt0x0F1000) {
    f.link.BlockPosition = 34816;
    f.link.SendDataBlock();
    const Bytes frame = f.port.LastWrite();
    EXPECT_EQ(frame.size(), BlockFrameLength + 1);
    EXPECT_EQ(Bytes(frame.begin() + 5, frame.begin() + 10), (Bytes{0x00, 0x10, 0x10, 0x0F, 0x00}));
    const Bytes body = Unstuff(frame);
    EXPECT_EQ(Bytes(body.begin() + 7, body.begin() + 1031), ImageBlock(34816));
}

TEST_F(DataBlock, EightySixBlocksThenStartApplicationOnce) {
    for (int call = 0; call < 86; ++call)
        f.link.SendDataBlock();
    const auto blocks = f.port.Writes();
    ASSERT_EQ(blocks.size(), 86u);
    EXPECT_EQ(Bytes(blocks.front().begin() + 5, blocks.front().begin() + 9),
              (Bytes{0x00, 0x88, 0x0E, 0x00}));
    EXPECT_EQ(Bytes(blocks.back().begin() + 5, blocks.back().begin() + 9),
              (Bytes{0x00, 0xDC, 0x0F, 0x00}));
    EXPECT_EQ(f.link.BlockPosition, 88064);
    EXPECT_EQ(f.link.EndOfImage, 0);
    EXPECT_EQ(f.panels.Text(1), "");

    f.link.SendDataBlock();
    EXPECT_EQ(f.port.LastWrite(), (Bytes{0x10, 0x04, 0x04, 0x00, 0x04, 0x08, 0x10, 0x05}));
    EXPECT_EQ(f.link.EndOfImage, 1);
    EXPECT_EQ(f.link.LastBootCommand, BootStartApplication);
    EXPECT_EQ(f.panels.Text(1), "Wait for CRC Check....");
    EXPECT_EQ(f.panels.Text(2), "Start Application");

    f.link.SendDataBlock();
    EXPECT_EQ(f.port.Writes().size(), 87u);
    EXPECT_EQ(f.port.WaitForWriteCalls(), 87);
}

TEST_F(DataBlock, AFailedWriteKeepsTheAdvancedPosition) {
    f.port.OnWrite([](const Bytes&) { throw std::runtime_error("Operation failed: 5"); });
    EXPECT_THROW(f.link.SendDataBlock(), std::runtime_error);
    EXPECT_EQ(f.link.BlockPosition, 1024);
    EXPECT_EQ(f.link.LastBootCommand, BootProgram);
}

TEST_F(DataBlock, RefusesANegativePosition) {
    f.link.BlockPosition = -1;
    EXPECT_THROW(f.link.SendDataBlock(), std::out_of_range);
    EXPECT_TRUE(f.port.Writes().empty());
}

} // namespace
} // namespace dedarida::test
