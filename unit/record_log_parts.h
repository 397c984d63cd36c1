#pragma once

#include "unit/record_log.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace dedarida {

// Tries while `busy` says the file is held, a short sleep apart, for as long
// as `wait` allows. Returns empty once `busy` said no, else why it gave up:
// `holder` (what held the file, in words), after an interrupt with that said.
std::string WaitWhileBusy(const LogWait& wait, const std::string& holder,
                          const std::function<bool()>& busy);

// Reads up to `size` bytes at `offset` into `data`: the bytes read, or -1
// once it has put the reason in the `error` given to EndOfWholeLines.
using ReadAt = std::function<long long(char* data, std::size_t size, std::uint64_t offset)>;

// Where the last whole line of a log of `size` bytes ends, read backwards
// through `readAt`. Nothing, with the reason in `error`, when a
// read fails or the tail without a line end is longer than any record.
std::optional<std::uint64_t> EndOfWholeLines(std::uint64_t size, const ReadAt& readAt,
                                             std::string& error);

} // namespace dedarida
