#include "app/cli/usage_text.h"

namespace dedarida::usage_text {

const char* const kPortNames =
    R"(  --port PORT         COM name as Device Manager shows it (COM5, COM12),
                      a device path (\\.\COM5),
)";

const char* const kListPorts =
    R"(  --list-ports        list the serial ports present: COM name, device, the
                      USB adapter's ids, maker, product, serial number,
                      location and interface, its look-alikes (the same ids
                      and serial number) with the usb-path: that names it;
                      with --json as one JSON array
)";

const char* const kNoDisplay = "";

const char* const kInterrupt =
    R"(  130  interrupted (Ctrl-C, Ctrl-Break, or the console closed); the port
       is closed first
)";

const char* const kSeveralPorts =
    R"(  dedarida --upgrade --port COM5 --port COM6 --port \\.\COM12 --json
)";

const char* const kHelpAlias = "/?";

} // namespace dedarida::usage_text
