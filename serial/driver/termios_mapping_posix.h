#pragma once

#include "serial/settings/line_records.h"

#include <asm/termbits.h>

namespace dedarida {

// The line settings as a raw-mode termios2: every speed through BOTHER when
// it has no B constant, mark/space parity through CMSPAR, one and a half
// stop bits as two. DSR flow, DTR handshake, RTS toggle, discarding NULs and
// the XON/XOFF limits have no termios equivalent and are left out.
// A parity check never sets INPCK: the tty would hand a bad byte on as NUL,
// where the port keeps it as received; the driver counts the error all the
// same (evError). Replacing bad bytes (fErrorChar) is left out: the tty can
// mark them only by inserting bytes into the stream, which would change
// every count. No tty event tells that EvtChar arrived, so evRxFlag is never
// reported.
termios2 TermiosFromDcb(const Dcb& dcb);

// Modem control lines the settings ask for (TIOCM_DTR / TIOCM_RTS) ...
int ModemLinesOn(const Dcb& dcb);
// ... and those they ask to be dropped.
int ModemLinesOff(const Dcb& dcb);

} // namespace dedarida
