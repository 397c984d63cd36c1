#include "image/file_open_flags.h"

#include <fcntl.h>

namespace dedarida {

int FileOpenFlags() {
    return O_CLOEXEC;
}

int ReadOpenFlags() {
    return O_NONBLOCK;
}

} // namespace dedarida
