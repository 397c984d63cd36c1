#include "app/port_dialog.h"

#include "app/message_box.h"
#include "app/place.h"
#include "app/port_choice.h"
#include "app/window_font.h"
#include "serial/comport.h"
#include "serial/list_com_ports.h"

#include <QComboBox>
#include <QPushButton>
#include <string>
#include <vector>

namespace dedarida {

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ComboBox1(Place<QComboBox>(this, "ComboBox1", 56, 24, 113, 21)),
      ComboBox2(Place<QComboBox>(this, "ComboBox2", 56, 80, 113, 21)),
      Button1(Place<QPushButton>(this, "Button1", 72, 136, 81, 25)) {
    setObjectName("Form2");
    setWindowTitle("Com Port Selection");
    setFont(WindowFont(WindowFontHeight));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setFixedSize(241, 189);
    move(387, 317);

    ComboBox2->addItems({"4800", "38400"});
    Button1->setText("OK");
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TForm2::Button1Click() {
    accept();
}

void TForm2::ShowPropForm(TComPort& port) {
    std::vector<std::string> names;
    ListComPorts(names);
    ComboBox1->clear();
    for (const std::string& name : names)
        ComboBox1->addItem(QString::fromStdString(name));
    // By position: the item need not name the current port.
    ComboBox1->setCurrentIndex(port.Port() < ComboBox1->count() ? port.Port() : -1);
    ComboBox2->setCurrentIndex(0);
    Button1->setFocus();

    const int result = exec();
    hide();
    if (result != QDialog::Accepted)
        return;
    const auto choice =
        ChoosePort(ComboBox1->currentText().toStdString(), ComboBox2->currentIndex());
    if (!choice) {
        ShowMessageBox(nullptr, MessageKind::Information, "Information", "Port Not Available");
        return;
    }
    port.SetPort(choice->port);
    port.SetBaudRate(choice->baudRate);
}

} // namespace dedarida
