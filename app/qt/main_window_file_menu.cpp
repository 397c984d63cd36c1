#include "app/qt/main_window.h"
#include "app/qt/menu_enabling.h"
#include "image/firmware_file.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <array>

namespace dedarida {

namespace {

// The open dialog takes names of files that do not exist yet, after asking.
bool ConfirmCreate(QWidget* parent, const QString& fileName) {
    if (QFileInfo::exists(fileName))
        return true;
    return QMessageBox::question(parent, "Open",
                                 fileName + "\nThis file does not exist.\nCreate the file?") ==
           QMessageBox::Yes;
}

} // namespace

void TForm1::Open1Click() {
    QFileDialog OpenDialog1(this, QString(), QString(), "S-Records (*.s *.mot);;All (*)");
    OpenDialog1.setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1.setFileMode(QFileDialog::AnyFile);
    if (OpenDialog1.exec() == QDialog::Accepted) {
        const QString fileName = OpenDialog1.selectedFiles().value(0);
        if (ConfirmCreate(this, fileName))
            firmwareFile_->Open(fileName.toStdString());
    }
    // Also after a cancel: the file chosen before, if any, is loaded again.
    Converti();
    setWindowTitle("RU Zededir " + QString::fromStdString(firmwareFile_->OpenedFileName()));
}

void TForm1::Converti() {
    const std::array menus{File1->menuAction(), SerialPort1, Commands2->menuAction()};
    for (QAction* menu : menus)
        SetMenuEnabled(*menu, false);
    // Re-enabled also when the load fails, so the tool stays usable.
    struct Reenable {
        const decltype(menus)& items;
        ~Reenable() {
            for (QAction* menu : items)
                SetMenuEnabled(*menu, true);
        }
    } reenable{menus};
    firmwareFile_->Load(programmer_.FlashImage());
}

void TForm1::Save1Click() {
    const QString fileName = QFileDialog::getSaveFileName(this);
    if (fileName.isEmpty())
        return;
    firmwareFile_->Save(fileName.toStdString(), programmer_.FlashImage());
}

} // namespace dedarida
