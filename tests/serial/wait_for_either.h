#pragma once

namespace dedarida::testing {

// Blocks until one of two EventFd events is set; true when `first` is.
bool WaitForEither(int first, int second);

} // namespace dedarida::testing
