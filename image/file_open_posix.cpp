#include "image/file_open.h"

#include <fcntl.h>

namespace dedarida {

int OpenFile(const std::string& name, int flags) {
    return ::open(name.c_str(), flags | O_CLOEXEC, 0666);
}

std::FILE* OpenStream(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), (std::string(mode) + "e").c_str());
}

int ReadOpenFlags() {
    return O_NONBLOCK;
}

} // namespace dedarida
