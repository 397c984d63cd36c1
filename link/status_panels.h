#pragma once

#include <string>

namespace dedarida {

// The status bar: panel 0 the port, 1 the upgrade status, 2 the last
// bootloader request. Callable from any thread.
class StatusPanels {
public:
    virtual ~StatusPanels() = default;
    virtual void SetPanelText(int index, const std::string& text) = 0;
};

} // namespace dedarida
