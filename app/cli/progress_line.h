#pragma once

#include "unit/progress_snapshot.h"

#include <cstddef>
#include <optional>
#include <string>

namespace dedarida {

// The live line, at most `width` columns: a bar, the percent, block k/86, the
// data rate against the line's limit, the time elapsed and left, the step.
std::string ProgressLine(const ProgressSnapshot& snapshot, std::size_t width);

// "progress: 40%  block 35/86  ..." for a log, one per ten percent.
std::string ProgressLogLine(const ProgressSnapshot& snapshot);

} // namespace dedarida
