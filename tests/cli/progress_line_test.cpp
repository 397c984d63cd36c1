#include "app/cli/progress_line.h"
#include "fleet/unit_protocol.h"
#include "text/printable_text.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace dedarida {
namespace {

ProgressSnapshot Programming() {
    return {"programming", 44, 43, 75.4, 3712.0};
}

TEST(ProgressLine, HoldsEveryFieldAndFillsTheBarByThePercentDone) {
    const std::string line = ProgressLine(Programming(), 120);
    EXPECT_EQ(line.size(), 120u);
    EXPECT_NE(line.find(" 50%  block 44/86   3712 B/s ( 97% of 38400 baud)  1:15 elapsed  0:12 "
                        "left  programming"),
              std::string::npos)
        << line;
    const std::size_t bar = line.find(']') - 1;
    const auto filled = std::count(line.begin(), line.begin() + static_cast<long>(bar) + 1, '#');
    EXPECT_EQ(static_cast<std::size_t>(filled), bar / 2);
}

TEST(ProgressLine, AnEightyColumnTerminalGetsTheShortFormWithABar) {
    const std::string line = ProgressLine(Programming(), 79);
    EXPECT_TRUE(line.starts_with("[")) << line;
    EXPECT_TRUE(line.ends_with("]  50% 44/86 3712B/s  97% 1:15 -0:12 programming")) << line;
}

TEST(ProgressLine, NeverExceedsTheWidthGiven) {
    for (const std::size_t width : {0, 1, 20, 60, 90, 200})
        EXPECT_LE(ProgressLine(Programming(), width).size(), width) << width;
}

TEST(ProgressLine, BeforeProgrammingThereIsNoRateAndNoTimeLeft) {
    const std::string line = ProgressLine({"waiting for the bootloader", 0, 0, 4.0, {}}, 120);
    EXPECT_NE(line.find("  0%  block  0/86      - B/s  0:04 elapsed  -:-- left  waiting for the "
                        "bootloader"),
              std::string::npos)
        << line;
}

TEST(ProgressLine, TheCheckCountsAsAllBlocksDone) {
    EXPECT_EQ((ProgressSnapshot{"checking CRC", 86, 86, 30, 3700.0}).Percent(), 100);
    EXPECT_EQ((ProgressSnapshot{"programming", 86, 85, 30, 3700.0}).Percent(), 98);
}

TEST(SupervisedLines, LiveLinesComeBackAsTheyWent) {
    const ProgressSnapshot snapshot = Programming();
    EXPECT_EQ(ParseLiveLine(LiveLine(snapshot)), snapshot);
    const ProgressSnapshot before{"identity", 0, 0, 0.5, {}};
    EXPECT_EQ(ParseLiveLine(LiveLine(before)), before);
    // The largest a child sends, and a rate below one byte a second.
    const ProgressSnapshot edge{"programming", 999'999, 999'999, 3.2e7, 1e9};
    EXPECT_EQ(ParseLiveLine(LiveLine(edge)), edge);
    const ProgressSnapshot slow{"programming", 1, 0, 1.0, 0.5};
    EXPECT_EQ(ParseLiveLine(LiveLine(slow)), slow);
    const std::string huge(90, '7');
    for (const std::string& line : std::initializer_list<std::string>{
             "status: START UPGRADE", "live: x", "",
             "live: 44 43 " + huge + ".4 3712.000 programming",
             "live: 99999999999 0 1.000 -1.000 identity", "live: -1 0 1.000 -1.000 identity",
             "live: 1 1 nan -1.000 identity", "live: 1 1 1.000 inf identity",
             "live: 1000000 0 1.000 -1.000 identity"})
        EXPECT_FALSE(ParseLiveLine(line)) << line;
}

TEST(SupervisedRecord, TheSummaryRowIsTheChildsRecord) {
    UpgradeReport report(UpgradeReport::Identity);
    report.identity = "FW ID  v4.1";
    report.PanelText(1, " Flash erase OK");
    report.PanelText(1, "Verify error");
    report.lineErrors = {1, 0, 2, 0};
    report.mismatchedReplies = 3;
    report.Retry(UpgradeReport::Polling);
    report.Message(MessageKind::Error, "System Program Fail");
    const auto summary = ParseRecord(report.Json() + "\n");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->result, "program-fail");
    EXPECT_EQ(summary->exitStatus, 1);
    EXPECT_EQ(summary->identity, "FW ID  v4.1");
    EXPECT_EQ(summary->notes, (ResultNotes{1, 0, {1, 0, 2, 0}, 3}));
    EXPECT_EQ(summary->attempts, 2);
    for (const char* text : {"", "summary: 0 1.0 1.0 programmed", "{}", "[1]", "{\"result\": 3}"})
        EXPECT_FALSE(ParseRecord(text)) << text;
}

// A device's identity text once carried a line of the old summary protocol
// and turned a refused device into a programmed row.
TEST(SupervisedRecord, DeviceTextCannotForgeAResult) {
    UpgradeReport report(UpgradeReport::Identity);
    report.identity = "FW ID  v2.0\nsummary: 0 1.000 -1.000 programmed \x1b[2K";
    report.Message(MessageKind::Information, "You can not update this device !");
    const auto summary = ParseRecord(report.Json());
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->result, "refused");
    EXPECT_EQ(summary->exitStatus, 2);
    EXPECT_EQ(Printable(summary->identity),
              "FW ID  v2.0\\nsummary: 0 1.000 -1.000 programmed \\x1B[2K");
}

// Two serials that are no UTF-8 once logged alike, as U+FFFD.
TEST(SupervisedRecord, ASerialThatIsNoUtf8KeepsItsBytes) {
    std::vector<std::string> bytes;
    for (const char* serial : {"A\xFF", "A\xFE", "A\xC3\xBC"}) {
        UpgradeReport report(UpgradeReport::Identity);
        report.usbSerial = serial;
        bytes.push_back(nlohmann::json::parse(report.Json()).value("usbSerialBytes", "-"));
    }
    EXPECT_EQ(bytes, (std::vector<std::string>{"41ff", "41fe", "-"}));
}

TEST(PrintableText, EscapesWhatATerminalWouldActOn) {
    EXPECT_EQ(Printable("READY TO UPGRADE"), "READY TO UPGRADE");
    EXPECT_EQ(Printable(std::string("a\r\n\t\\b\0\x7F\xC3", 9)), "a\\r\\n\\t\\b\\x00\\x7F\\xC3");
}

// Windows refuses '\\', ':' and the rest in a name, and opens CON.x or
// com5.trace as a device.
TEST(UnitTracePath, EveryFileSystemTakesItAndNoneOpensADevice) {
    EXPECT_EQ(UnitTracePath("t", "\\\\.\\COM5"), "t.__._COM5");
    EXPECT_EQ(UnitTracePath("/tmp/t", "usb:0403:6001:A1 x"), "/tmp/t.usb_0403_6001_A1_x");
    EXPECT_EQ(UnitTracePath("out/CON", "COM5"), "out/_CON.COM5");
    EXPECT_EQ(UnitTracePath("C:\\traces\\com1", "dev-1.2"), "C:\\traces\\_com1.dev-1.2");
    EXPECT_EQ(UnitTracePath("lpt", "9"), "lpt.9");
    EXPECT_EQ(UnitTracePath("aux_log", "COM5"), "aux_log.COM5");
    EXPECT_EQ(UnitTracePath("com0", "x"), "_com0.x");
    EXPECT_EQ(UnitTracePath("LPT9", "x"), "_LPT9.x");
    EXPECT_EQ(UnitTracePath("comz", "x"), "comz.x");
    EXPECT_EQ(UnitTracePath("t", "AZaz09._-"), "t.AZaz09._-");
}

TEST(PrintableText, ALineOfTheToolsOwnIsEscapedOnlyWhereATerminalWouldAct) {
    EXPECT_EQ(WithoutControls("port \\\\.\\COM5 \xC3\xBC\x1B[2J\r"),
              "port \\\\.\\COM5 \xC3\xBC\\x1B[2J\\x0D");
}

TEST(ResultLine, NamesTheAnswersThatDidNotStopTheUpgradeAndTheLineErrors) {
    EXPECT_EQ(ResultLine("programmed", 0), "result: programmed (exit 0)");
    EXPECT_EQ(ResultLine("programmed", 0, {86, 1, {2, 0, 1, 3}, 2}),
              "result: programmed (exit 0); 86 blocks answered \"Verify error\"; 1 block "
              "answered \"Command 3 Error\"; 2 replies discarded, answering no request; line "
              "errors: 2 framing, 0 parity, 1 overrun, 3 break");
}

} // namespace
} // namespace dedarida
