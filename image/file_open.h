#pragma once

#include <cstdio>
#include <string>

namespace dedarida {

// Every file the tool opens goes through these, its name in UTF-8. No file is
// inherited by programs the tool starts.

// open(), with no newline translation where the system has a text mode: the
// descriptor, or -1 with errno set. A file it creates may be read and written
// by everyone the umask lets.
int OpenFile(const std::string& name, int flags);
// fopen() with `mode` as given: the stream, or null with errno set.
std::FILE* OpenStream(const std::string& name, const char* mode);
// Added to the open() of a file to read: an open that cannot block on a FIFO,
// where the system has them.
int ReadOpenFlags();

} // namespace dedarida
