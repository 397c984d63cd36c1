#pragma once

namespace dedarida::usage_text {

// The parts of --help that differ by platform, each whole lines of it (the
// options' text at column 23), in usage_text_posix.cpp and _win32.cpp.
extern const char* const kPortNames;    // what --port takes besides USB adapters
extern const char* const kListPorts;    // --list-ports and what it shows
extern const char* const kNoDisplay;    // the status of a window with no display
extern const char* const kInterrupt;    // what ends the tool with 130
extern const char* const kSeveralPorts; // the example of several ports
// Another spelling of --help that the platform's users type, or nullptr.
extern const char* const kHelpAlias;

} // namespace dedarida::usage_text
