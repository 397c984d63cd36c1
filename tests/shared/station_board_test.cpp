// The station's board as a window reads it: what each tile shows through a
// unit's life, where tiles sit, and the header's counters.
#include "app/shared/station_board.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

namespace dedarida {
namespace {

using namespace std::chrono_literals;
using Clock = StationBoard::Clock;

// Not one repeated digit, so that a short hash taken from elsewhere shows.
const std::string Sha256 = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

// A board on a clock the test moves.
class Board {
public:
    Board() : board_({"line-3", "fw451.s28", Sha256, "units.jsonl", ""}, [this] { return now_; }) {}

    StationBoard* operator->() { return &board_; }
    StationBoard& operator*() { return board_; }
    void Advance(Clock::duration time) { now_ += time; }
    std::vector<Tile> Tiles() const { return board_.Snapshot().tiles; }
    BoardHeader Header() const { return board_.Snapshot().header; }

private:
    Clock::time_point now_{};
    StationBoard board_;
};

UnitBeginning Unit(unsigned number, const std::string& position, const std::string& serial = "") {
    return {"/dev/ttyUSB" + std::to_string(number), number, serial, position};
}

UpgradeSummary Ended(const std::string& result, int exitStatus, int attempts = 1,
                     const std::string& identity = "FW ID  v4.1", double seconds = 29.7) {
    UpgradeSummary summary;
    summary.result = result;
    summary.exitStatus = exitStatus;
    summary.seconds = seconds;
    summary.identity = identity;
    summary.attempts = attempts;
    return summary;
}

ProgressSnapshot Progress(const std::string& step, int blocksDone,
                          std::optional<double> rate = std::nullopt) {
    ProgressSnapshot snapshot;
    snapshot.step = step;
    snapshot.blocksSent = blocksDone;
    snapshot.blocksDone = blocksDone;
    snapshot.bytesPerSecond = rate;
    return snapshot;
}

const char* StateName(Tile::State state) {
    switch (state) {
    case Tile::State::Running:
        return "running";
    case Tile::State::Comeback:
        return "comeback";
    case Tile::State::Passed:
        return "passed";
    case Tile::State::Failed:
        return "failed";
    case Tile::State::Interrupted:
        return "interrupted";
    case Tile::State::Waiting:
        return "waiting";
    }
    return "?";
}

std::string Optional(const std::optional<int>& value) {
    return value ? std::to_string(*value) : "-";
}

// What an operator reads on the tile, field by field.
std::string Shown(const Tile& tile) {
    std::ostringstream text;
    text << StateName(tile.state) << " | " << tile.serial << " | " << tile.identity << " | "
         << tile.phase << " " << tile.percent << "% | " << tile.elapsed << "s "
         << Optional(tile.remaining) << " left " << Optional(tile.countdown) << " to wait | "
         << tile.verdict << " | " << tile.reason << " | " << tile.hint << " | " << tile.instruction
         << " | " << tile.units << "/" << tile.failures << (tile.flagged ? " flagged" : "");
    return text.str();
}

struct LifeRow {
    const char* name;
    std::function<void(Board&)> steps; // on row 0, after the unit began at 1-1
    std::string shown;
};

void PrintTo(const LifeRow& row, std::ostream* out) {
    *out << row.name;
}

class TileLife : public ::testing::TestWithParam<LifeRow> {};

TEST_P(TileLife, ShowsWhatTheUnitIsAt) {
    Board board;
    board->UnitBegins(0, Unit(1, "usb-path:1-1", "A1"));
    GetParam().steps(board);
    const auto tiles = board.Tiles();
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(Shown(tiles[0]), GetParam().shown);
}

const std::string Bootloader =
    "message: the device is left in its bootloader with its flash erased and 40 of 86 blocks "
    "programmed; recover it with: dedarida --upgrade --port /dev/ttyUSB1 --from-bootloader";
const std::string Hint = "left in its bootloader: plug it in again to upgrade it from there";

INSTANTIATE_TEST_SUITE_P(
    Board, TileLife,
    ::testing::Values(
        LifeRow{"JustPluggedIn", [](Board&) {},
                "running | A1 |  | starting 0% | 0s - left - to wait |  |  |  |  | 0/0"},
        LifeRow{"Identity",
                [](Board& b) {
                    b.Advance(1500ms);
                    b->UnitProgress(0, Progress("identity", 0));
                },
                "running | A1 |  | identity 0% | 1s - left - to wait |  |  |  |  | 0/0"},
        // 43 blocks of 1024 bytes left at 2048 B/s.
        LifeRow{"Programming",
                [](Board& b) {
                    b.Advance(12s);
                    b->UnitProgress(0, Progress("programming", 43, 2048.0));
                },
                "running | A1 |  | programming 50% | 12s 22 left - to wait |  |  |  |  | 0/0"},
        LifeRow{"NoTimeLeftWithoutARate",
                [](Board& b) { b->UnitProgress(0, Progress("programming", 0)); },
                "running | A1 |  | programming 0% | 0s - left - to wait |  |  |  |  | 0/0"},
        LifeRow{"NoTimeLeftAtAStandstill",
                [](Board& b) { b->UnitProgress(0, Progress("programming", 10, 0.0)); },
                "running | A1 |  | programming 11% | 0s - left - to wait |  |  |  |  | 0/0"},
        LifeRow{"NoTimeLeftWhileChecking",
                [](Board& b) { b->UnitProgress(0, Progress("checking CRC", 86, 3700.0)); },
                "running | A1 |  | checking CRC 100% | 0s - left - to wait |  |  |  |  | 0/0"},
        LifeRow{"Passed",
                [](Board& b) {
                    b->UnitProgress(0, Progress("programming", 80, 3700.0));
                    b.Advance(31s);
                    b->UnitEnds(0, Ended("programmed", 0));
                },
                "passed | A1 | FW ID  v4.1 |  100% | 29s - left - to wait | PASS |  |  | unplug it "
                "| 1/0"},
        LifeRow{"Refused",
                [](Board& b) { b->UnitEnds(0, Ended("refused", 2, 1, "FW ID  v2.0", 0.4)); },
                "failed | A1 | FW ID  v2.0 |  0% | 0s - left - to wait | FAIL | this device must "
                "not be upgraded |  | unplug it | 1/1"},
        LifeRow{"FailedInItsBootloader",
                [](Board& b) {
                    b->UnitProgress(0, Progress("programming", 40, 3700.0));
                    b->UnitEvent(0, Bootloader);
                    b->UnitEnds(0, Ended("line-error", 1));
                },
                "failed | A1 | FW ID  v4.1 |  46% | 29s - left - to wait | FAIL | the line to the "
                "device was lost | " +
                    Hint + " | unplug it | 1/1"},
        LifeRow{"InterruptedInItsBootloader",
                [](Board& b) {
                    b->UnitEvent(0, Bootloader);
                    b->UnitEnds(0, Ended("interrupted", 130));
                },
                "interrupted | A1 | FW ID  v4.1 |  0% | 29s - left - to wait | INTERRUPTED | "
                "stopped before its end | " +
                    Hint + " | unplug it | 1/0"},
        // Only the unit's own word on its end counts, not a line that mentions it.
        LifeRow{"ABootloaderNamedElsewhereIsNoHint",
                [](Board& b) {
                    b->UnitEvent(0, "status: the device is left in its bootloader");
                    b->UnitEnds(0, Ended("timeout", 3));
                },
                "failed | A1 | FW ID  v4.1 |  0% | 29s - left - to wait | FAIL | the device "
                "stopped answering |  | unplug it | 1/1"},
        LifeRow{"Crashed", [](Board& b) { b->UnitEnds(0, Ended("crashed", 1, 1, "")); },
                "failed | A1 |  |  0% | 29s - left - to wait | FAIL | the upgrade's process ended "
                "without its result |  | unplug it | 1/1"},
        LifeRow{"PulledAndCountingDown",
                [](Board& b) {
                    b->UnitProgress(0, Progress("programming", 40, 3700.0));
                    b.Advance(10s);
                    b->UnitWaiting(0, 30s);
                    b.Advance(12300ms);
                },
                "comeback | A1 |  | waiting for it to come back 46% | 22s - left 18 to wait |  "
                "|  |  |  | 0/0"},
        LifeRow{"AWaitThatRanOutShowsNone",
                [](Board& b) {
                    b->UnitWaiting(0, 3s);
                    b.Advance(5s);
                },
                "comeback | A1 |  | waiting for it to come back 0% | 5s - left 0 to wait |  |  "
                "|  |  | 0/0"},
        LifeRow{"BackAndGoingOn",
                [](Board& b) {
                    b->UnitWaiting(0, 30s);
                    b.Advance(2s);
                    b->UnitProgress(0, Progress("waiting for the bootloader", 0));
                },
                "running | A1 |  | waiting for the bootloader 0% | 2s - left - to wait |  |  |  "
                "|  | 0/0"},
        LifeRow{"NothingAfterTheEndChangesTheVerdict",
                [](Board& b) {
                    b->UnitEnds(0, Ended("programmed", 0));
                    b->UnitProgress(0, Progress("programming", 3, 100.0));
                    b->UnitWaiting(0, 30s);
                    b->UnitEnds(0, Ended("line-error", 1));
                },
                "passed | A1 | FW ID  v4.1 |  100% | 29s - left - to wait | PASS |  |  | unplug it "
                "| 1/0"},
        LifeRow{"GoneAndWaitingForTheNext",
                [](Board& b) {
                    b->UnitEvent(0, Bootloader);
                    b->UnitEnds(0, Ended("program-fail", 1));
                    b->UnitGone(0);
                    b->UnitProgress(0, Progress("programming", 3, 100.0));
                },
                "waiting |  |  |  0% | 0s - left - to wait |  |  |  | waiting | 1/1"},
        LifeRow{"AllBlocksSentLeaveNoTimeLeft",
                [](Board& b) { b->UnitProgress(0, Progress("programming", 86, 3700.0)); },
                "running | A1 |  | programming 100% | 0s 0 left - to wait |  |  |  |  | 0/0"},
        LifeRow{"TheNextUnitShowsNothingOfTheLast",
                [](Board& b) {
                    b->UnitEnds(0, Ended("programmed", 0));
                    b->UnitGone(0);
                    b->UnitBegins(0, Unit(2, "usb-path:1-1", "B2"));
                },
                "running | B2 |  | starting 0% | 0s - left - to wait |  |  |  |  | 1/0"},
        LifeRow{"TheNextUnitStartsClean",
                [](Board& b) {
                    b->UnitEvent(0, Bootloader);
                    b->UnitEnds(0, Ended("program-fail", 1));
                    b->UnitGone(0);
                    b.Advance(5s);
                    b->UnitBegins(0, Unit(2, "usb-path:1-1", "B2"));
                    b.Advance(1s);
                    b->UnitEnds(0, Ended("erase-refused", 1, 1, "FW ID  v4.0"));
                },
                "failed | B2 | FW ID  v4.0 |  0% | 29s - left - to wait | FAIL | the device "
                "refused to erase its flash |  | unplug it | 2/2"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Board, EveryResultHasItsReasonInWords) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"program-fail", "the device's final check of its flash failed"},
        {"erase-refused", "the device refused to erase its flash"},
        {"line-error", "the line to the device was lost"},
        {"refused", "this device must not be upgraded"},
        {"unknown-device", "the device is not recognised"},
        {"timeout", "the device stopped answering"},
        {"port-error", "its port could not be opened"},
        {"in-bootloader", "the device is silent but its bootloader answers"},
        {"crashed", "the upgrade's process ended without its result"},
        {"something-new", "something-new"},
    };
    for (const auto& [result, words] : rows) {
        Board board;
        board->UnitBegins(0, Unit(1, "usb-path:1-1"));
        board->UnitEnds(0, Ended(result, 1));
        EXPECT_EQ(board.Tiles()[0].reason, words) << result;
        EXPECT_EQ(board.Tiles()[0].verdict, "FAIL") << result;
    }
}

// A fixture position keeps its tile whichever row the station gives its
// next unit; a new position gets the next tile.
TEST(Board, ATileStaysWithItsPosition) {
    Board board;
    board->UnitBegins(0, Unit(1, "usb-path:1-1", "A1"));
    board->UnitBegins(1, Unit(2, "usb-path:1-2", "A2"));
    board->UnitEnds(0, Ended("programmed", 0));
    board->UnitGone(0);
    board->UnitBegins(0, Unit(3, "usb-path:1-3", "A3"));
    board->UnitEnds(1, Ended("refused", 2));
    board->UnitGone(1);
    board->UnitBegins(1, Unit(4, "usb-path:1-1", "A4"));
    board->UnitProgress(1, Progress("erasing", 0));
    board->UnitProgress(0, Progress("programming", 86, 3700.0));
    const auto tiles = board.Tiles();
    ASSERT_EQ(tiles.size(), 3u);
    const std::vector<std::string> positions = {tiles[0].position, tiles[1].position,
                                                tiles[2].position};
    EXPECT_EQ(positions,
              (std::vector<std::string>{"usb-path:1-1", "usb-path:1-2", "usb-path:1-3"}));
    EXPECT_EQ(tiles[0].label + tiles[1].label + tiles[2].label, "123");
    EXPECT_EQ(tiles[0].serial, "A4");
    EXPECT_EQ(tiles[0].unit, 4u);
    EXPECT_EQ(tiles[0].phase, "erasing");
    EXPECT_EQ(tiles[0].units, 1u);
    EXPECT_EQ(tiles[1].state, Tile::State::Waiting);
    EXPECT_EQ(tiles[1].failures, 1u);
    EXPECT_EQ(tiles[2].serial, "A3");
    EXPECT_EQ(tiles[2].percent, 100);
}

// Several ports name no position: the port is one.
TEST(Board, AUnitWithoutAPositionSitsAtItsPort) {
    Board board;
    board->UnitBegins(0, {"COM5", 0, "", ""});
    ASSERT_EQ(board.Tiles().size(), 1u);
    EXPECT_EQ(board.Tiles()[0].position, "COM5");
}

TEST(Board, CallsForARowWithoutAUnitChangeNothing) {
    Board board;
    board->UnitProgress(3, Progress("programming", 3, 100.0));
    board->UnitEvent(3, Bootloader);
    board->UnitWaiting(3, 30s);
    board->UnitEnds(3, Ended("programmed", 0));
    board->UnitGone(3);
    EXPECT_TRUE(board.Tiles().empty());
    EXPECT_EQ(board.Header().passed, 0u);
}

struct TallyRow {
    const char* name;
    // An end per unit, each in a slot of its own: result, exit status, attempts.
    std::vector<std::tuple<std::string, int, int>> ends;
    unsigned running; // units begun beyond those
    std::string counters;
};

std::string Percent(const std::optional<double>& percent) {
    if (!percent)
        return "-";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", *percent);
    return text;
}

void PrintTo(const TallyRow& row, std::ostream* out) {
    *out << row.name;
}

class BoardTally : public ::testing::TestWithParam<TallyRow> {};

TEST_P(BoardTally, CountsUnitsAndYields) {
    Board board;
    std::size_t row = 0;
    for (const auto& [result, status, attempts] : GetParam().ends) {
        board->UnitBegins(row, Unit(static_cast<unsigned>(row + 1), std::to_string(row)));
        board->UnitEnds(row, Ended(result, status, attempts));
        ++row;
    }
    for (unsigned i = 0; i < GetParam().running; ++i, ++row)
        board->UnitBegins(row, Unit(static_cast<unsigned>(row + 1), std::to_string(row)));
    const BoardHeader h = board.Header();
    EXPECT_EQ(board->Running(), h.running);
    std::ostringstream counters;
    counters << h.units << " units, " << h.passed << " passed, " << h.failed << " failed, "
             << h.interrupted << " interrupted, " << h.running << " running, yield "
             << Percent(h.yieldPercent) << ", first pass " << Percent(h.firstPassYieldPercent);
    EXPECT_EQ(counters.str(), GetParam().counters);
}

INSTANTIATE_TEST_SUITE_P(
    Board, BoardTally,
    ::testing::Values(
        TallyRow{"NoneYet",
                 {},
                 0,
                 "0 units, 0 passed, 0 failed, 0 interrupted, 0 running, yield -, first pass -"},
        TallyRow{"OnlyRunning",
                 {},
                 2,
                 "2 units, 0 passed, 0 failed, 0 interrupted, 2 running, yield -, first pass -"},
        TallyRow{"OnlyInterrupted",
                 {{"interrupted", 130, 1}},
                 0,
                 "1 units, 0 passed, 0 failed, 1 interrupted, 0 running, yield -, first pass -"},
        // A unit that passed on its second attempt is a pass, not a first-pass one.
        TallyRow{"AShift",
                 {{"programmed", 0, 1},
                  {"programmed", 0, 2},
                  {"refused", 2, 1},
                  {"interrupted", 130, 1},
                  {"programmed", 0, 1},
                  {"crashed", 1, 1}},
                 1,
                 "7 units, 3 passed, 2 failed, 1 interrupted, 1 running, yield 60.0, first pass "
                 "40.0"}),
    [](const auto& row) { return std::string(row.param.name); });

struct FlagRow {
    const char* name;
    std::string ends; // P passed, F failed, I interrupted, in turn in one slot
    bool flagged;
};

void PrintTo(const FlagRow& row, std::ostream* out) {
    *out << row.name;
}

class SlotFlag : public ::testing::TestWithParam<FlagRow> {};

// Interrupted units say nothing of the fixture.
TEST_P(SlotFlag, FlagsASlotWhoseLastThreeUnitsFailed) {
    Board board;
    unsigned number = 0;
    for (const char end : GetParam().ends) {
        board->UnitBegins(0, Unit(++number, "usb-path:1-4"));
        board->UnitEnds(0, end == 'P'   ? Ended("programmed", 0)
                           : end == 'I' ? Ended("interrupted", 130)
                                        : Ended("line-error", 1));
        board->UnitGone(0);
    }
    EXPECT_EQ(board.Tiles().at(0).flagged, GetParam().flagged);
    board->UnitBegins(0, Unit(++number, "usb-path:1-4"));
    EXPECT_EQ(board.Tiles().at(0).flagged, GetParam().flagged) << "while the next one runs";
}

INSTANTIATE_TEST_SUITE_P(Board, SlotFlag,
                         ::testing::Values(FlagRow{"TwoFailures", "FF", false},
                                           FlagRow{"ThreeFailures", "FFF", true},
                                           FlagRow{"FourFailures", "FFFF", true},
                                           FlagRow{"APassBetween", "FFPF", false},
                                           FlagRow{"APassAfter", "FFFP", false},
                                           FlagRow{"ThreeAfterAPass", "PFFF", true},
                                           FlagRow{"TwoAfterAPass", "FFFPFF", false},
                                           FlagRow{"AnInterruptionBetween", "FFIF", true},
                                           FlagRow{"Passes", "PPP", false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Board, TheHeaderSaysWhatTheStationRunsAndItsLastLine) {
    Board board;
    board->Line("station line-3: waiting for USB serial adapters (Ctrl-C ends the station)");
    board->Line("error: Cannot list the serial ports");
    const BoardHeader h = board.Header();
    EXPECT_EQ(h.info.station, "line-3");
    EXPECT_EQ(h.info.firmware, "fw451.s28");
    EXPECT_EQ(h.info.log, "units.jsonl");
    EXPECT_EQ(h.shortSha256, "0123456789ab");
    EXPECT_EQ(h.notice, "error: Cannot list the serial ports");
}

// The fleet's thread writes while the window's reads; a sanitizer build
// finds any access outside the lock.
TEST(Board, TheFleetAndTheWindowMayUseItAtOnce) {
    Board board;
    std::atomic<bool> done{false};
    std::thread fleet([&] {
        for (unsigned unit = 1; unit <= 200; ++unit) {
            board->UnitBegins(unit % 4, Unit(unit, std::to_string(unit % 4)));
            board->UnitProgress(unit % 4, Progress("programming", 40, 3700.0));
            board->UnitWaiting(unit % 4, 30s);
            board->UnitEnds(unit % 4, Ended("programmed", 0));
            board->UnitGone(unit % 4);
        }
        done = true;
    });
    while (!done) {
        EXPECT_LE(board.Tiles().size(), 4u);
        EXPECT_LE(board->Running(), 4u);
    }
    fleet.join();
    EXPECT_EQ(board.Header().units, 200u);
    EXPECT_EQ(board.Header().passed, 200u);
}

} // namespace
} // namespace dedarida
