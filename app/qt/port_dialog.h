#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;

namespace dedarida {

class TComPort;

// Form2, the port selection dialog: created hidden once and reused. Main
// thread only.
class TForm2 : public QDialog {
public:
    explicit TForm2(QWidget* parent = nullptr);

    // Lists the ports present, shows the dialog modally and, on OK, sets Port
    // and BaudRate of `port` from the chosen items. Raises EConvertError when
    // the chosen item names no number; shows "Port Not Available" for
    // numbers from 10 on. Either way `port` is left as it was.
    void ShowPropForm(TComPort& port);

    // OK: ends the dialog with the result OK.
    void Button1Click();

private:
    QComboBox* ComboBox1;
    QComboBox* ComboBox2;
    QPushButton* Button1;
};

} // namespace dedarida
