#pragma once

#include <string>

namespace dedarida {

// Whether a device that stays silent in its application answers a Poll in
// its bootloader: an upgrade was interrupted there, and only the bootloader
// path recovers it. Opens `device` at 38400 baud, sends Poll twice at most
// and listens about a second; sends nothing else, so nothing is erased.
// Raises EComPort when the port cannot be used.
bool AnswersBootloaderPoll(const std::string& device);

} // namespace dedarida
