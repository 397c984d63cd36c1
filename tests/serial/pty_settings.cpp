// Apart from pty_pair.cpp: the kernel's termios2 clashes with <pty.h>.
#include "tests/serial/pty_pair.h"

#include <asm/termbits.h>
#include <stdexcept>
#include <sys/ioctl.h>

namespace dedarida::test {

PtyPair::Settings PtyPair::MasterSettings() const {
    termios2 t{};
    if (ioctl(master_, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 on the master failed");
    return {t.c_cflag, t.c_iflag, t.c_ospeed};
}

} // namespace dedarida::test
