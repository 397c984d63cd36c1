#include "app/qt/port_dialog.h"

#include "app/qt/message_box.h"
#include "app/qt/place.h"
#include "app/qt/window_font.h"
#include "app/shared/port_choice.h"
#include "ports/list_com_ports.h"
#include "serial/comport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <string>
#include <tuple>
#include <vector>

namespace dedarida {

TForm2::TForm2(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ComboBox1(Place<QComboBox>(this, "ComboBox1", form2::ComboBox1)),
      ComboBox2(Place<QComboBox>(this, "ComboBox2", form2::ComboBox2)),
      Button1(Place<QPushButton>(this, "Button1", form2::Button1)) {
    setObjectName("Form2");
    setWindowTitle(form2::Caption);
    setFont(WindowFont(WindowFontHeight));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setFixedSize(form2::ClientWidth, form2::ClientHeight);
    move(form2::Left, form2::Top);

    for (const auto& [place, caption, list] :
         {std::tuple{form2::Label1, form2::Label1Caption, ComboBox1},
          std::tuple{form2::Label2, form2::Label2Caption, ComboBox2}}) {
        auto* label = Place<QLabel>(this, "", place);
        label->setText(caption);
        label->setBuddy(list);
    }
    for (const char* item : form2::BaudItems)
        ComboBox2->addItem(item);
    Button1->setText(form2::OkCaption);
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
    ComboBox1->setCurrentIndex(InitialPortIndex(port, ComboBox1->count()));
    ComboBox2->setCurrentIndex(0);
    Button1->setFocus();

    const int result = exec();
    hide();
    if (result != QDialog::Accepted)
        return;
    if (!ApplyPortChoice(port, ComboBox1->currentText().toStdString(), ComboBox2->currentIndex()))
        ShowMessageBox(nullptr, MessageKind::Information, form2::NotAvailableCaption,
                       form2::NotAvailableText);
}

} // namespace dedarida
