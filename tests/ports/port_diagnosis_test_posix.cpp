#include "ports/port_diagnosis.h"
#include "serial/ecomport.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

using dedarida::DiagnoseOpenFailure;
using dedarida::InWords;

std::string Failure(int code) {
    return "Unable to open com port: " + std::to_string(code);
}

// What a technician reads: the port, what is wrong in words, and what to do;
// never the bare number of the system.
TEST(PortDiagnosis, SaysWhatIsWrongInWordsAndWhatToDo) {
    const std::string gone = DiagnoseOpenFailure("COM7", "/dev/ttyUSB1", Failure(ENXIO));
    EXPECT_TRUE(gone.starts_with("COM7 (/dev/ttyUSB1) has no device behind it (No such device "
                                 "or address): plug the adapter in again, or choose another "
                                 "port."))
        << gone;
    EXPECT_EQ(DiagnoseOpenFailure("COM7", "/dev/ttyUSB1", Failure(EIO)),
              "Cannot open COM7 (/dev/ttyUSB1): Input/output error.");
    EXPECT_EQ(DiagnoseOpenFailure("/dev/ttyUSB9", "/dev/ttyUSB9", Failure(EBUSY)),
              "/dev/ttyUSB9 is in use by another program; close it there, or choose another "
              "port.");
    EXPECT_TRUE(DiagnoseOpenFailure("/dev/null", "/dev/null", Failure(ENOTTY))
                    .starts_with("/dev/null is not a serial port."));
    for (const int code : {ENXIO, EIO, EBUSY, ENOTTY})
        EXPECT_EQ(DiagnoseOpenFailure("COM7", "/dev/ttyUSB1", Failure(code))
                      .find(": " + std::to_string(code)),
                  std::string::npos);
}

// Only a port failure ends in the system's number; other texts may end in
// any number of their own.
TEST(PortDiagnosis, OnlyAPortFailuresNumberIsSaidInWords) {
    EXPECT_EQ(InWords(dedarida::EComPort("Operation failed: " + std::to_string(EBADF))),
              "Operation failed: " + std::to_string(EBADF) + " (Bad file descriptor)");
    EXPECT_EQ(InWords(std::out_of_range("status panel 7")), "status panel 7");
    EXPECT_EQ(InWords(dedarida::EComPort("Port closed")), "Port closed");
}

} // namespace
