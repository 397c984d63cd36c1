#pragma once

namespace dedarida {

// The command identifiers of the main window's controls and menu items.
enum CommandId : int {
    Button1Id = 1,
    SendProgram2Id = 100,
    SerialPort1Id,
    Open1Id,
    Save1Id,
};

} // namespace dedarida
