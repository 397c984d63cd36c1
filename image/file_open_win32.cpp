#include "image/file_open.h"
#include "text/utf16.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace dedarida {

int OpenFile(const std::string& name, int flags) {
    return ::_wopen(Utf16FromUtf8(name).c_str(), flags | O_BINARY | O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

std::FILE* OpenStream(const std::string& name, const char* mode) {
    return ::_wfopen(Utf16FromUtf8(name).c_str(), Utf16FromUtf8(std::string(mode) + "N").c_str());
}

int ReadOpenFlags() {
    return 0;
}

} // namespace dedarida
