#pragma once

namespace dedarida {

// Added to every open() of a file: not inherited by programs the tool starts,
// and no newline translation where the system has text mode.
int FileOpenFlags();
// Added to the open() of a file to read: an open that cannot block on a FIFO,
// where the system has them.
int ReadOpenFlags();

} // namespace dedarida
