#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// What the system says about the USB adapter behind a port (sysfs on Linux,
// SetupAPI on Windows); the strings are the device's own and may hold any
// byte.
struct UsbAdapter {
    std::string vendorId;  // four lower-case hex digits, as sysfs gives them
    std::string productId; // four lower-case hex digits
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
    // Where it is plugged in, stable across plugging: the kernel's USB port
    // path on Linux ("1-1.2"), the location information on Windows
    // ("Port_#0002.Hub_#0001").
    std::string portPath;
    // The USB interface the port belongs to, two hex digits ("01"): the
    // ports of one multi-interface adapter differ only here. Empty when the
    // system does not tell.
    std::string interfaceNumber;
};

struct SerialPortInfo {
    std::vector<std::string> comNames; // every COM name that maps onto it, as "COM05"
    std::string device;                // "/dev/ttyUSB0"
    std::string byId;                  // its /dev/serial/by-id link, or empty
    std::optional<UsbAdapter> usb;
    // Another program has locked it, so this tool cannot open it; unknown
    // where telling would mean opening it (Windows).
    std::optional<bool> inUse;
    // The other programs that have it open, as far as the system tells
    // ("picocom (PID 1234)"); empty when none, or unknown.
    std::string heldBy;
};

// The variable that names a folder standing in for the system's ports (the
// test bench's and the simulator's plugging): each entry is a port, a link to
// its device, named VID_PID_SERIAL[@PORTPATH[:INTERFACE]] after its USB
// adapter ("0403_6001_A1B2C3@1-1.2", "0403_6010_FT1234@1-2:01"); an entry of
// another name has no adapter, and a hidden one (".name") is none.
inline constexpr const char PortsFolderVariable[] = "DEDARIDA_PORTS_FOLDER";
// The folder the variable names, or empty.
std::string PortsFolder();

// Whether a listing tells which programs hold each port: on Linux that reads
// every process's descriptors, too much for each device change.
enum class PortHolding { Told, Untold };

// Every serial port present: the entries of PortsFolder when it is set,
// else the system's (ListSystemSerialPorts).
std::vector<SerialPortInfo> ListSerialPorts(PortHolding holding = PortHolding::Told);

// Every serial port of the system, ordered by device path. Linux: the kernel's
// serial devices (a /dev/ttyS device only when the kernel knows its UART
// type), and the devices named by DEDARIDA_COMn that the kernel does not list
// (pseudo terminals); opens no port except a /dev/ttyS one whose UART type
// sysfs does not tell, and changes none. Windows: the ports the system lists
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, by number, each with the USB
// adapter SetupAPI knows behind its COM name; opens none.
std::vector<SerialPortInfo> ListSystemSerialPorts(PortHolding holding = PortHolding::Told);

// Replaces `list` with the COM names of the ports present, sorted without
// regard to case; a four-character name is shown with a 0 inserted (COM3 as
// COM03). With `withPath` each item carries its device ("COM05 /dev/ttyUSB0").
void ListComPorts(std::vector<std::string>& list, bool withPath = false);

} // namespace dedarida
