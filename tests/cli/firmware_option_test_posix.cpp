#include "image/embedded_firmware.h"
#include "tests/cli/headless_fixture.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using dedarida::test::Headless;

// One S3 record: count, four address bytes, data, the ones' complement checksum.
std::string S3(std::uint32_t address, const std::vector<std::uint8_t>& data,
               int checksumOffset = 0) {
    std::vector<std::uint8_t> bytes = {
        static_cast<std::uint8_t>(data.size() + 5), static_cast<std::uint8_t>(address >> 24),
        static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (const auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(~sum + checksumOffset));
    std::string record = "S3";
    char hex[3];
    for (const auto b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        record += hex;
    }
    return record + "\r\n";
}

class FirmwareOption : public Headless {
protected:
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Refused before the port is touched: exit 64, a reason, no frame on the line.
    void ExpectRefused(const std::string& path, const std::string& reason) {
        EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--firmware", path}), 64);
        EXPECT_NE(Read("err").find("refused: " + path + ": " + reason), std::string::npos)
            << Read("err");
        EXPECT_EQ(frames_, 0u);
    }
};

TEST_F(FirmwareOption, AnSRecordFileWithGapsIsSentAsTheLoaderFillsIt) {
    // Two stretches with 0xFF between and after them, one 0x10 to stuff.
    std::vector<std::uint8_t> expected(88064, 0xFF);
    const std::vector<std::uint8_t> first = {0x10, 0x20, 0x30, 0x40};
    const std::vector<std::uint8_t> second = {0xAA, 0x55};
    std::copy(first.begin(), first.end(), expected.begin() + 0x10);
    std::copy(second.begin(), second.end(), expected.begin() + 0x8000);
    // Line ends mixed as a file edited on two systems has them.
    const std::string path = Write("gaps.s19", "S0030000FC\n" + S3(0x0E8810, first) +
                                                   S3(0x0F0800, second) + "S70500000000FA\n");
    config_.reference = expected;

    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--firmware", path, "--json"}), 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash_.begin()));
    const std::string err = Read("err");
    EXPECT_NE(err.find("firmware: " + path + ", 6 bytes covered, sha256 "), std::string::npos)
        << err;
    EXPECT_NE(err.find("message: System Programmed OK  " + path + " sha256 "), std::string::npos);
    EXPECT_EQ(err.find("v4.5"), std::string::npos) << err;
    EXPECT_NE(Read("out").find("\"file\":\"" + path + "\""), std::string::npos) << Read("out");
}

TEST_F(FirmwareOption, ARawImageAndItsVersionTextAreUsedForTheWholeUpgrade) {
    std::string raw(88064, '\0');
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<char>(i * 7 + 3);
    const std::string path = Write("image.bin", raw);
    config_.reference.assign(raw.begin(), raw.end());
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--firmware", path, "--firmware-version",
                   "v4.6-rc1", "--json"}),
              0);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), flash_.begin(), [](char a, std::uint8_t b) {
        return static_cast<std::uint8_t>(a) == b;
    }));
    EXPECT_NE(Read("err").find("message: System Programmed OK  v4.6-rc1"), std::string::npos);
    EXPECT_NE(Read("out").find("\"version\":\"v4.6-rc1\""), std::string::npos) << Read("out");
}

TEST_F(FirmwareOption, EachFaultyFileIsRefusedBeforeAnythingIsSent) {
    const std::vector<std::uint8_t> data = {1, 2, 3, 4};
    ExpectRefused(Write("short.bin", std::string(88063, 'x')),
                  "88063 bytes; a raw image must be exactly 88064 bytes");
    ExpectRefused(Write("past-end.s", S3(0x0E8800, data) + S3(0x0FDFFE, data)),
                  "line 2: 2 data bytes lie outside 0x0E8800-0x0FDFFF");
    ExpectRefused(Write("below.mot", S3(0x0E87FF, data)),
                  "line 1: 1 data byte lies outside 0x0E8800-0x0FDFFF");
    ExpectRefused(Write("checksum.srec", S3(0x0E8800, data) + S3(0x0E8900, data, 1)),
                  "line 2: 1 record has a wrong checksum");
    ExpectRefused(Write("empty.s37", "S0030000FC\r\nS70500000000FA\r\n"), "holds no data");
    std::string malformed = S3(0x0E8900, data);
    malformed.replace(malformed.find("01020304"), 8, "0102030z");
    ExpectRefused(Write("malformed.s28", S3(0x0E8800, data) + malformed),
                  "line 2: a character that is no hex digit");
    const std::string hex = ":02000004000EEC\r\n:02881000C1C2E3\r\n";
    ExpectRefused(Write("cut.hex", hex),
                  "has no end-of-file record (:00000001FF): it may have been cut short");
    ExpectRefused(Write("after-end.ihex", hex + ":00000001FF\r\n" + hex),
                  "line 4: 2 lines follow the end-of-file record");
    ExpectRefused(dir_ + "/missing.s19", "cannot be opened");
}

// The hash comes from sha256sum, not from the tool.
TEST_F(FirmwareOption, AnExpectedHashOtherThanTheImagesTouchesNoPort) {
    const auto image = dedarida::EmbeddedFirmware();
    const std::string path = Write("image.bin", std::string(image.begin(), image.end()));
    const std::string hash = dedarida::test::Sha256Sum(path);
    std::string other = hash;
    other[10] = other[10] == '0' ? '1' : '0';
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--expect-sha256", other}), 64);
    EXPECT_EQ(frames_, 0u);
    EXPECT_NE(Read("err").find(hash), std::string::npos) << Read("err");
    EXPECT_NE(Read("err").find(other), std::string::npos);
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--expect-sha256", hash}), 0) << Read("err");
}

TEST_F(FirmwareOption, AVersionTextNeedsAFile) {
    EXPECT_EQ(Run({"--upgrade", "--port", Line(), "--firmware-version", "v9"}), 64);
    EXPECT_EQ(frames_, 0u);
}

} // namespace
