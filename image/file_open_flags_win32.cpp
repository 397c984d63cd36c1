#include "image/file_open_flags.h"

#include <fcntl.h>

namespace dedarida {

int FileOpenFlags() {
    return O_BINARY | O_NOINHERIT;
}

int ReadOpenFlags() {
    return 0;
}

} // namespace dedarida
