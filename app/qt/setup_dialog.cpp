#include "app/qt/setup_dialog.h"

#include "app/qt/place.h"
#include "app/qt/window_font.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <QVBoxLayout>

namespace dedarida {

namespace {

void AddChoices(QGroupBox& group, const QStringList& choices) {
    auto* layout = new QVBoxLayout(&group);
    for (const QString& choice : choices)
        layout->addWidget(new QRadioButton(choice, &group));
    layout->itemAt(0)->widget()->setProperty("checked", true);
}

} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName("Form3");
    setWindowTitle("Setup");
    setFont(WindowFont(WindowFontHeight));
    setFixedSize(257, 161);

    auto* offset = Place<QGroupBox>(this, "AddressOffset", {8, 8, 113, 97});
    offset->setTitle("Address Offset");
    AddChoices(*offset, {"$0C0000", "$0E0000"});
    auto* size = Place<QGroupBox>(this, "TxSize", {136, 8, 113, 97});
    size->setTitle("Tx Size");
    AddChoices(*size, {"$10000", "$20000", "$40000"});
}

} // namespace dedarida
