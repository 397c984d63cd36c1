#pragma once

namespace dedarida::sim {

// The output speed (baud) the other end of a pty set, read through its master descriptor;
// 0 when it cannot be read. Any rate works, also those set with BOTHER.
unsigned LineSpeed(int masterFd);

} // namespace dedarida::sim
