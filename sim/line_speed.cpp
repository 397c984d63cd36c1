// Kept apart: <asm/termbits.h> (for termios2) clashes with <termios.h>.
#include "sim/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace dedarida::sim {

unsigned LineSpeed(int masterFd) {
    termios2 settings{};
    if (ioctl(masterFd, TCGETS2, &settings) != 0) {
        return 0;
    }
    return settings.c_ospeed;
}

} // namespace dedarida::sim
