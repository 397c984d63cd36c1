#pragma once

#include <exception>
#include <string>

namespace dedarida {

// What a technician should read when `port` (a COM name or a device path,
// mapped to `device`, empty when it maps to nothing) could not be opened with
// the message `failure` ("Unable to open com port: <errno>"): the port, what
// is wrong in words, and what to do, in a sentence or two.
std::string OpenProblem(const std::string& port, const std::string& device,
                        const std::string& failure);

// OpenProblem in a few words for a narrow status panel ("COM5: in use").
std::string BriefOpenProblem(const std::string& port, const std::string& device,
                             const std::string& failure);

// What `failure` says; an EComPort's text ends in the system's number, which
// gets the system's words: "Operation failed: 9 (Bad file descriptor)". Other
// texts are returned as they are, whatever they end in.
std::string InWords(const std::exception& failure);

// OpenProblem, and where the port seems not to be there, the ports that are.
std::string DiagnoseOpenFailure(const std::string& port, const std::string& device,
                                const std::string& failure);

} // namespace dedarida
