#pragma once

#include <string>

namespace dedarida {

// What a technician should read when `port` (a COM name or a device path,
// mapped to `device`, empty when it maps to nothing) could not be opened with
// the message `failure` ("Unable to open com port: <errno>"): the port, what
// is wrong in words, and what to do, in a sentence or two.
std::string OpenProblem(const std::string& port, const std::string& device,
                        const std::string& failure);

// `message` of a failure (an EComPort's "Operation failed: 9"), with the
// system's words for the number it ends in: "Operation failed: 9 (Bad file
// descriptor)". A message that ends in no number is returned as it is.
std::string InWords(const std::string& message);

// OpenProblem, and where the port seems not to be there, the ports that are.
std::string DiagnoseOpenFailure(const std::string& port, const std::string& device,
                                const std::string& failure);

} // namespace dedarida
