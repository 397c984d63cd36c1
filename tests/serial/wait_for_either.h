#pragma once

namespace dedarida::test {

// Blocks until one of two EventFd events is set; true when `first` is.
bool WaitForEither(int first, int second);

} // namespace dedarida::test
