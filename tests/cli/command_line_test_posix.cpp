#include "image/embedded_firmware.h"
#include "image/sha256.h"
#include "tests/cli/spawned_posix.h"
#include "tests/serial/pty_pair.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace {

using dedarida::test::Finished;
using dedarida::test::RunWithoutDisplay;

constexpr const char NoDisplayLine[] =
    "no display: use --upgrade --port PORT for the headless mode, or set DISPLAY\n";

// The tool started where no display is, as over SSH.
class CommandLine : public ::testing::Test {
protected:
    CommandLine() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dedarida-args-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
    }
    ~CommandLine() override { std::filesystem::remove_all(dir_); }

    Finished Run(std::vector<std::string> arguments, const std::vector<std::string>& extra = {}) {
        arguments.insert(arguments.begin(), DEDARIDA_EXECUTABLE);
        return RunWithoutDisplay(arguments, extra, dir_);
    }
    // Under a fake device tree; the preload library comes before the
    // sanitizer's runtime there, which the sanitizer would otherwise refuse.
    Finished ListPorts(bool json, const std::string& pty) {
        std::vector<std::string> arguments = {
            UMOCKDEV_RUN, "-d", SERIAL_PORTS_TREE, "--", DEDARIDA_EXECUTABLE, "--list-ports"};
        if (json)
            arguments.push_back("--json");
        return RunWithoutDisplay(
            arguments, {"DEDARIDA_COM12=" + pty, "ASAN_OPTIONS=verify_asan_link_order=0"}, dir_);
    }

    std::string dir_;
};

TEST_F(CommandLine, AnUnknownArgumentIsAUsageErrorAndOpensNoWindow) {
    const Finished run = Run({"--versoin"});
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "dedarida: unknown argument --versoin");
    // One line and where to look, not the whole usage.
    EXPECT_EQ(run.err, "dedarida: unknown argument --versoin\nsee dedarida --help\n");
    EXPECT_EQ(run.err.find(NoDisplayLine), std::string::npos);
}

TEST_F(CommandLine, VersionNamesTheToolAndTheFirmwareItCarries) {
    const Finished run = Run({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "dedarida 4.5\nbuilt-in firmware: 88064 bytes, SHA-256 " +
                           dedarida::Sha256Hex(dedarida::EmbeddedFirmware()) + "\n");
}

TEST_F(CommandLine, TheWindowWithoutADisplaySaysSoAndExits69) {
    const Finished run = Run({});
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.status, 69);
    EXPECT_EQ(run.err, NoDisplayLine);
}

TEST_F(CommandLine, AnUnreachableDisplayExits69InsteadOfAborting) {
    const Finished run = Run({}, {"DISPLAY=:7357"});
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.status, 69);
    EXPECT_NE(run.err.find(NoDisplayLine), std::string::npos) << run.err;
}

TEST_F(CommandLine, TheStationsWindowWithoutADisplaySaysSoAsTheWindowDoes) {
    const Finished run = Run({"--station", "--window", "--retries", "1"});
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.status, 69);
    EXPECT_EQ(run.err, NoDisplayLine);
    const Finished alone = Run({"--upgrade", "--port", "COM5", "--window"});
    EXPECT_EQ(alone.status, 64);
    EXPECT_EQ(alone.err, "dedarida: --window shows the station: it goes with --station\n"
                         "see dedarida --help\n");
}

TEST_F(CommandLine, ListPortsAsJsonGivesEveryPortOfTheTree) {
    dedarida::test::PtyPair pty;
    const Finished run = ListPorts(true, pty.SlavePath());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto list = nlohmann::json::parse(run.out);
    std::map<std::string, nlohmann::json> byDevice;
    for (const auto& port : list)
        byDevice[port["device"]] = port;
    // ttyS1 has no UART, tty5 is a console: neither is a serial port.
    ASSERT_EQ(byDevice.size(), 7u) << run.out;

    const auto& ftdi = byDevice.at("/dev/ttyUSB0");
    EXPECT_EQ(ftdi["comNames"], nlohmann::json::array({"COM05"}));
    EXPECT_EQ(ftdi["byId"], "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A600ABCD-if00-port0");
    EXPECT_EQ(ftdi["usb"]["vendorId"], "0403");
    EXPECT_EQ(ftdi["usb"]["productId"], "6001");
    EXPECT_EQ(ftdi["usb"]["manufacturer"], "FTDI");
    EXPECT_EQ(ftdi["usb"]["product"], "FT232R USB UART");
    EXPECT_EQ(ftdi["usb"]["serialNumber"], "A600ABCD");
    // Where it is plugged in: the --port usb-path: of this adapter.
    EXPECT_EQ(ftdi["usb"]["portPath"], "1-2");
    EXPECT_EQ(ftdi["usb"]["interfaceNumber"], "00");
    EXPECT_EQ(ftdi["inUse"], false);

    // The two ports of a dual adapter differ in their interface only.
    for (const auto& [device, interface] :
         std::map<std::string, std::string>{{"/dev/ttyUSB2", "00"}, {"/dev/ttyUSB3", "01"}}) {
        const auto& usb = byDevice.at(device)["usb"];
        EXPECT_EQ(usb["serialNumber"], "FT2DUAL");
        EXPECT_EQ(usb["portPath"], "1-5");
        EXPECT_EQ(usb["interfaceNumber"], interface);
        EXPECT_EQ(
            byDevice.at(device)["lookAlikeOf"],
            nlohmann::json::array({device == "/dev/ttyUSB2" ? "/dev/ttyUSB3" : "/dev/ttyUSB2"}));
    }
    EXPECT_EQ(byDevice.at("/dev/ttyUSB0")["lookAlikeOf"], nlohmann::json::array());

    // Quotes, a backslash and UTF-8 kept; control bytes escaped; a byte that
    // is not UTF-8 replaced.
    const auto& cp210x = byDevice.at("/dev/ttyUSB1");
    EXPECT_EQ(cp210x["comNames"], nlohmann::json::array({"COM06"}));
    EXPECT_TRUE(cp210x["byId"].is_null());
    EXPECT_EQ(cp210x["usb"]["vendorId"], "10c4");
    EXPECT_EQ(cp210x["usb"]["manufacturer"], "Silic\xC3\xB6n\"Labs\\");
    EXPECT_EQ(cp210x["usb"]["serialNumber"], "00\x1B[2J\n\x01\xEF\xBF\xBD");
    EXPECT_NE(run.out.find(R"("00\u001b[2J\n\u0001)"), std::string::npos);

    const auto& acm = byDevice.at("/dev/ttyACM0");
    EXPECT_EQ(acm["comNames"], nlohmann::json::array({"COM08"}));
    EXPECT_EQ(acm["byId"], "/dev/serial/by-id/usb-Bench_Serial_Console-if00");
    EXPECT_EQ(acm["usb"]["vendorId"], "1209");

    const auto& uart = byDevice.at("/dev/ttyS0");
    EXPECT_EQ(uart["comNames"], nlohmann::json::array({"COM01"}));
    EXPECT_TRUE(uart["usb"].is_null());

    // This test holds the pty open, without a lock: the tool could open it
    // all the same, so it is not "in use", but the holder is named.
    const auto& named = byDevice.at(pty.SlavePath());
    EXPECT_EQ(named["comNames"], nlohmann::json::array({"COM12"}));
    EXPECT_TRUE(named["usb"].is_null());
    EXPECT_EQ(named["inUse"], false);
    // (umockdev-run, started by this test, holds it too.)
    EXPECT_TRUE(named["heldBy"].get<std::string>().starts_with("headless_test (PID " +
                                                               std::to_string(getpid()) + ")"))
        << named["heldBy"];
}

TEST_F(CommandLine, ListPortsAsTextEscapesTheDevicesStrings) {
    dedarida::test::PtyPair pty;
    // Locked, as this tool locks a port it opens: in use.
    const int locked = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(locked, LOCK_EX), 0);
    const Finished run = ListPorts(false, pty.SlavePath());
    close(locked);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.out.find("COM05 /dev/ttyUSB0\n"
                     "  by-id: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A600ABCD-if00-port0\n"
                     "  usb: 0403:6001, manufacturer \"FTDI\", product \"FT232R USB UART\", "
                     "serial \"A600ABCD\", usb-path:1-2, interface \"00\"\n"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(R"(manufacturer "Silic\xC3\xB6n\x22Labs\x5C")"), std::string::npos);
    EXPECT_NE(run.out.find(R"(serial "00\x1B[2J\n\x01\xFF")"), std::string::npos);
    EXPECT_NE(run.out.find("COM12 " + pty.SlavePath() + ", in use by headless_test (PID " +
                           std::to_string(getpid()) + ")"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos);
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it)
        found.insert((*it)[1]);
    return found;
}

// The man page writes "--port" as "\-\-port" and each exit status as ".B 64".
TEST_F(CommandLine, TheManPageHasEveryOptionAndExitStatusOfTheHelp) {
    const Finished help = Run({"--help"});
    std::ifstream file(MAN_PAGE);
    std::stringstream page;
    page << file.rdbuf();
    std::string man = std::regex_replace(page.str(), std::regex(R"(\\-)"), "-");
    const std::regex option(R"((--[a-z][a-z-]*))");
    EXPECT_EQ(Matches(help.out, option), Matches(man, option));
    EXPECT_EQ(Matches(help.out, std::regex(R"(\n  ([0-9]+) )")),
              Matches(man, std::regex(R"(\n\.B ([0-9]+)\n)")));
    EXPECT_NE(man.find("COM5-COM7 = /dev/ttyUSB0-2"), std::string::npos);
    EXPECT_NE(man.find("sudo usermod -aG dialout $USER"), std::string::npos);
}

} // namespace
