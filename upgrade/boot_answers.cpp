#include "upgrade/programmer.h"

namespace dedarida {

// Whatever its status: the bootloader is there.
void Programmer::OnPollAnswer() {
    PollAnswered = 1;
    SendCode();
}

void Programmer::OnEraseAnswer(std::uint8_t status) {
    if (status == BootStatusDone) {
        window_.SetPanelText(1, " Flash erase OK");
        link_->SendDataBlock();
    } else if (status == BootStatusFailed) {
        window_.SetPanelText(1, "Send Data Fail");
    }
}

// A rejected block is not sent again: the final check decides.
void Programmer::OnBlockAnswer(std::uint8_t status) {
    if (status == BootStatusDone)
        window_.SetProgress(link_->BlockPosition * 100 / 0x16000);
    else if (status == BootStatusFailed)
        window_.SetPanelText(1, "Verify error");
    else if (status == BootStatusCommandError)
        DisplayCmdErr(BootProgram);
    else
        return;
    link_->SendDataBlock();
}

void Programmer::OnCheckAnswer(std::uint8_t status) {
    if (status == BootStatusDone) {
        window_.SetPanelText(1, "Programmed OK");
        window_.SetProgress(0);
        window_.ShowMessage(MessageKind::Information,
                            "System Programmed OK  " +
                                (firmwareVersion_.empty() ? TargetVersion : firmwareVersion_));
        SwitchStatus1Click();
        window_.SetStartEnabled(true);
        return;
    }
    if (status == BootStatusCommandError)
        DisplayCmdErr(BootStartApplication);
    else if (status == BootStatusFailed)
        window_.SetPanelText(1, "Program Fail");
    window_.ShowMessage(MessageKind::Error, "System Program Fail");
}

void Programmer::OnFwIdAnswer(std::uint8_t status) {
    if (status == BootStatusDone)
        window_.SetPanelText(1, "FW id: ");
}

} // namespace dedarida
