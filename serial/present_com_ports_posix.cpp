#include "serial/com_names.h"
#include "serial/present_com_ports.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/serial.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace dedarida {

namespace {

constexpr unsigned kFixedTableSize = 9;
constexpr const char kVariablePrefix[] = "DEDARIDA_COM";

// The kernel's UART type of a /dev/ttyS device: 0 is "unknown", a port the
// driver reserves although no hardware answers there.
bool IsRealUart(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int uart = 0;
    if (type >> uart)
        return uart != 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct serial{};
    const bool known = ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

bool DevicePresent(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    return path.rfind("/dev/ttyS", 0) != 0 || IsRealUart(path);
}

// COM numbers named by DEDARIDA_COMn variables, then those of the fixed table.
std::set<unsigned> CandidateNumbers() {
    std::set<unsigned> numbers;
    for (unsigned n = 1; n <= kFixedTableSize; ++n)
        numbers.insert(n);
    const std::size_t prefix = std::strlen(kVariablePrefix);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (text.compare(0, prefix, kVariablePrefix) != 0 || equals == std::string::npos)
            continue;
        const std::string digits = text.substr(prefix, equals - prefix);
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; }))
            continue;
        if (const unsigned n = static_cast<unsigned>(std::stoul(digits)); n > 0)
            numbers.insert(n);
    }
    return numbers;
}

} // namespace

std::vector<ComPortDevice> PresentComPorts() {
    std::vector<ComPortDevice> present;
    for (const unsigned number : CandidateNumbers()) {
        std::string name = "COM" + std::to_string(number);
        std::string path = DevicePathForComName(name);
        if (DevicePresent(path))
            present.push_back({std::move(name), std::move(path)});
    }
    return present;
}

} // namespace dedarida
