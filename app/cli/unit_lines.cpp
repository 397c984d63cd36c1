#include "app/cli/unit_lines.h"

#include "app/cli/checked_write.h"
#include "fleet/unit_protocol.h"
#include "text/printable_text.h"

#include <cstdio>

namespace dedarida {

void UnitLines::Place(const std::string& device) {
    if (output_.GetStyle() == ProgressOutput::Style::Supervised)
        output_.Event(0, PlacePrefix + Printable(device));
}

void UnitLines::Waiting(std::chrono::seconds window) {
    if (output_.GetStyle() == ProgressOutput::Style::Supervised)
        output_.Event(0, WaitingLine(window));
}

std::string UnitLines::Record(const std::string& json) {
    record_ = json;
    return printRecord_ ? WriteChecked(stdout, json + "\n") : "";
}

} // namespace dedarida
