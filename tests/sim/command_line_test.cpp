#include "sim/command_line.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace dedarida::sim {
namespace {

using namespace std::chrono_literals;

CommandLine Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(SimCommandLine, DefaultsWithoutArguments) {
    const auto line = Parse({});
    EXPECT_EQ(line.config.identity, "FW ID  v4.1");
    EXPECT_FALSE(line.config.paced);
    EXPECT_EQ(line.config.rebootDelay, 300ms);
    EXPECT_EQ(line.config.eraseTime, 500ms);
    EXPECT_EQ(line.config.programTime, 2ms);
    EXPECT_EQ(line.config.checkTime, 50ms);
    EXPECT_EQ(line.config.faults.seed, 1U);
    EXPECT_FALSE(line.help);
}

TEST(SimCommandLine, EveryOptionReachesTheConfiguration) {
    const auto line = Parse({"--link",           "/tmp/x",
                             "--paced",          "--identity",
                             "FW ID  v3.0",      "--bootloader",
                             "--reboot-ms",      "7",
                             "--erase-ms",       "8",
                             "--program-ms",     "9",
                             "--check-ms",       "10",
                             "--transcript",     "t.jsonl",
                             "--flash-out",      "f.bin",
                             "--drop",           "poll:2",
                             "--corrupt",        "identity:1",
                             "--half-reply",     "program:3",
                             "--split",          "2:5",
                             "--noise",          "4",
                             "--verify-error",   "6",
                             "--command-error",  "7",
                             "--fail-check",     "--refuse-erase",
                             "--ignore-polls",   "3",
                             "--silent-offline", "--ignore-offline",
                             "--identity-every", "3000",
                             "--linger-ms",      "400",
                             "--hang-up-at",     "40",
                             "--comeback-ms",    "250",
                             "--comeback-link",  "/tmp/y",
                             "--late-poll",      "90",
                             "--double-ack",     "15",
                             "--seed",           "42"});
    const auto& c = line.config;
    const auto& f = c.faults;
    EXPECT_EQ(c.linkPath, "/tmp/x");
    EXPECT_TRUE(c.paced);
    EXPECT_EQ(c.identity, "FW ID  v3.0");
    EXPECT_EQ(c.startMode, DeviceMode::Bootloader);
    EXPECT_EQ(c.rebootDelay, 7ms);
    EXPECT_EQ(c.eraseTime, 8ms);
    EXPECT_EQ(c.programTime, 9ms);
    EXPECT_EQ(c.checkTime, 10ms);
    EXPECT_EQ(c.transcriptPath, "t.jsonl");
    EXPECT_EQ(line.flashOut, "f.bin");
    EXPECT_EQ(f.dropReply, (std::vector<FaultTarget>{{RequestKind::Poll, 2}}));
    EXPECT_EQ(f.corruptChecksum, (std::vector<FaultTarget>{{RequestKind::Identity, 1}}));
    EXPECT_EQ(f.halfReply, (std::vector<FaultTarget>{{RequestKind::Program, 3}}));
    EXPECT_EQ(f.splitPiece, 2U);
    EXPECT_EQ(f.splitGap, 5ms);
    EXPECT_EQ(f.noiseBytes, 4U);
    EXPECT_EQ(f.verifyErrorBlocks, std::vector<unsigned>{6});
    EXPECT_EQ(f.commandErrorBlocks, std::vector<unsigned>{7});
    EXPECT_TRUE(f.failFinalCheck);
    EXPECT_TRUE(f.refuseErase);
    EXPECT_EQ(f.ignoredPolls, 3U);
    EXPECT_TRUE(f.silentGoOffline);
    EXPECT_TRUE(f.ignoreGoOffline);
    EXPECT_EQ(f.identityEvery, 3000ms);
    EXPECT_EQ(f.lingerAfterHangUp, 400ms);
    EXPECT_EQ(f.hangUpAtBlock, 40U);
    EXPECT_EQ(f.comebackDelay, 250ms);
    EXPECT_EQ(f.comebackLink, "/tmp/y");
    EXPECT_TRUE(f.latePollAnswer);
    EXPECT_EQ(f.latePollDelay, 90ms);
    EXPECT_TRUE(f.doubleAck);
    EXPECT_EQ(f.doubleAckDelay, 15ms);
    EXPECT_EQ(f.seed, 42U);
}

TEST(SimCommandLine, ReadsAReferenceOfExactlyTheFlashSize) {
    const std::string path = "/tmp/dedarida-sim-reference-" + std::to_string(::getpid());
    std::ofstream(path, std::ios::binary) << std::string(88064, 'A');
    EXPECT_EQ(Parse({"--reference", path}).config.reference.size(), 88064U);
    std::ofstream(path, std::ios::binary) << std::string(100, 'A');
    EXPECT_THROW(Parse({"--reference", path}), std::invalid_argument);
    ::unlink(path.c_str());
    EXPECT_THROW(Parse({"--reference", path}), std::invalid_argument);
}

TEST(SimCommandLine, RejectsWhatItCannotUse) {
    for (const auto& args : std::vector<std::vector<std::string_view>>{
             {"--bogus"},
             {"--erase-ms"},
             {"--erase-ms", "fast"},
             {"--drop", "poll"},
             {"--drop", "reboot:1"},
             {"--identity", "0123456789012345678901234567890123456789"},
             {"--", "x"}}) {
        EXPECT_THROW(Parse(args), std::invalid_argument) << args[0];
    }
}

TEST(SimCommandLine, HelpNamesEveryOption) {
    EXPECT_TRUE(Parse({"--help"}).help);
    const std::string help(HelpText());
    for (const char* option :
         {"--link",           "--paced",          "--identity",   "--bootloader",
          "--reboot-ms",      "--erase-ms",       "--program-ms", "--check-ms",
          "--reference",      "--transcript",     "--flash-out",  "--drop",
          "--corrupt",        "--half-reply",     "--split",      "--noise",
          "--verify-error",   "--command-error",  "--fail-check", "--refuse-erase",
          "--ignore-polls",   "--silent-offline", "--hang-up-at", "--comeback-ms",
          "--late-poll",      "--double-ack",     "--seed",       "--help",
          "--ignore-offline", "--identity-every", "--linger-ms",  "--comeback-link"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

} // namespace
} // namespace dedarida::sim
