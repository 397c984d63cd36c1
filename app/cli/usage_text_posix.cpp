#include "app/cli/usage_text.h"

namespace dedarida::usage_text {

const char* const kPortNames =
    R"(  --port PORT         COM name (COM1 ... COM9, or any COMn named by the
                      variable DEDARIDA_COMn), a device path (/dev/ttyUSB0),
)";

const char* const kListPorts =
    R"(  --list-ports        list the serial ports present: COM name, device, its
                      /dev/serial/by-id name, the USB adapter's ids, maker,
                      product, serial number, USB port and interface, its
                      look-alikes (the same ids and serial number) with the
                      usb-path: that names it, and whether another program
                      holds it; with --json as one JSON array
)";

const char* const kNoDisplay = R"(  69   the window found no display (use --upgrade, or set DISPLAY)
)";

const char* const kInterrupt =
    R"(  130  interrupted (Ctrl-C, SIGTERM, or a closed terminal); the port is
       closed first
)";

const char* const kSeveralPorts =
    R"(  dedarida --upgrade --port COM5 --port COM6 --port /dev/ttyUSB3 --json
)";

const char* const kHelpAlias = nullptr;

} // namespace dedarida::usage_text
