#include "serial/driver/dcb_mapping_win32.h"

namespace dedarida {

DCB Win32Dcb(const Dcb& dcb, DCB current) {
    DCB d = current;
    d.DCBlength = sizeof d;
    d.BaudRate = dcb.BaudRate;
    d.fBinary = dcb.fBinary;
    d.fParity = dcb.fParity;
    d.fOutxCtsFlow = dcb.fOutxCtsFlow;
    d.fOutxDsrFlow = dcb.fOutxDsrFlow;
    d.fDtrControl = dcb.fDtrControl;
    d.fDsrSensitivity = dcb.fDsrSensitivity;
    d.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    d.fOutX = dcb.fOutX;
    d.fInX = dcb.fInX;
    d.fErrorChar = dcb.fErrorChar;
    d.fNull = dcb.fNull;
    d.fRtsControl = dcb.fRtsControl;
    d.fAbortOnError = dcb.fAbortOnError;
    d.XonLim = dcb.XonLim;
    d.XoffLim = dcb.XoffLim;
    d.ByteSize = dcb.ByteSize;
    d.Parity = dcb.Parity;
    d.StopBits = dcb.StopBits;
    d.XonChar = static_cast<char>(dcb.XonChar);
    d.XoffChar = static_cast<char>(dcb.XoffChar);
    d.ErrorChar = static_cast<char>(dcb.ErrorChar);
    d.EofChar = static_cast<char>(dcb.EofChar);
    d.EvtChar = static_cast<char>(dcb.EvtChar);
    return d;
}

} // namespace dedarida
