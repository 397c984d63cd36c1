// The lines and records a supervisor reads from the processes it runs: any
// bytes parse without harm, a parsed live line prints back the same, and no
// device text inside a record changes what the record says.
#include "fleet/unit_protocol.h"
#include "text/printable_text.h"
#include "unit/upgrade_report.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dedarida;
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto snapshot = ParseLiveLine(text)) {
        const std::string line = LiveLine(*snapshot);
        const auto again = ParseLiveLine(line);
        Require(again && LiveLine(*again) == line);
    }
    if (const auto summary = ParseRecord(text))
        ResultLine(summary->result, summary->exitStatus, summary->notes);

    // The text as a device's identity: the record still says what it said.
    UpgradeReport report(UpgradeReport::Identity);
    report.identity = text;
    report.Message(MessageKind::Information, "You can not update this device !");
    const auto summary = ParseRecord(report.Json());
    Require(summary && summary->result == "refused" && summary->exitStatus == 2);
    for (const char c : Printable(summary->identity))
        Require(c >= 0x20 && c < 0x7F);
    return 0;
}
