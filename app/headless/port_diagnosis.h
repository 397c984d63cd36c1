#pragma once

#include <string>

namespace dedarida {

// What a technician should read when `port` (a COM name or a device path,
// mapped to `device`, empty when it maps to nothing) could not be opened with
// the message `failure` ("Unable to open com port: <errno>"). Says what to do.
std::string DiagnoseOpenFailure(const std::string& port, const std::string& device,
                                const std::string& failure);

} // namespace dedarida
