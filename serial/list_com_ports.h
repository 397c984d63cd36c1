#pragma once

#include <string>
#include <vector>

namespace dedarida {

// Replaces `list` with the COM names whose device is present, sorted without
// regard to case; a four-character name is shown with a 0 inserted (COM3 as
// COM03). With `withPath` each item carries its device ("COM05 /dev/ttyUSB0").
void ListComPorts(std::vector<std::string>& list, bool withPath = false);

} // namespace dedarida
