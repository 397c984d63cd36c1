#include "app/qt/port_dialog.h"
#include "app/shared/port_choice.h"
#include "app_test_support.h"
#include "serial/comport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <map>

namespace dedarida {
namespace {

using test::ComPty;
using test::MessageRecorder;

class PortDialogTest : public ::testing::Test {
protected:
    QComboBox& Ports() { return *dialog.findChild<QComboBox*>("ComboBox1"); }
    QComboBox& Bauds() { return *dialog.findChild<QComboBox*>("ComboBox2"); }
    QPushButton& Ok() { return *dialog.findChild<QPushButton*>("Button1"); }

    // Shows the dialog; once it runs, selects `item` (none when empty), the
    // baud item `baudIndex`, and presses OK.
    void ChooseAndConfirm(const QString& item, int baudIndex = 0) {
        test::WhenModal([this, item, baudIndex] {
            shownItems.clear();
            for (int i = 0; i < Ports().count(); ++i)
                shownItems << Ports().itemText(i);
            selectedOnOpen = Ports().currentIndex();
            baudOnOpen = Bauds().currentIndex();
            focusOnOpen = dialog.focusWidget();
            Ports().setCurrentIndex(Ports().findText(item));
            Bauds().setCurrentIndex(baudIndex);
            Ok().click();
        });
        dialog.ShowPropForm(port);
    }

    ComPty com1{1};
    ComPty com3{3};
    ComPty com9{9};
    ComPty com12{12};
    MessageRecorder messages;
    TForm2 dialog;
    TComPort port{test::MainQueue()};

    QStringList shownItems;
    int selectedOnOpen = -2;
    int baudOnOpen = -2;
    QWidget* focusOnOpen = nullptr;
};

TEST_F(PortDialogTest, LooksAsDesigned) {
    EXPECT_EQ(dialog.windowTitle(), "Com Port Selection");
    EXPECT_EQ(dialog.size(), QSize(241, 189));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.pos(), QPoint(387, 317));
    EXPECT_EQ(Ports().geometry(), QRect(56, 24, 113, 21));
    EXPECT_EQ(Bauds().geometry(), QRect(56, 80, 113, 21));
    EXPECT_FALSE(Ports().isEditable());
    EXPECT_FALSE(Bauds().isEditable());
    EXPECT_EQ(Bauds().count(), 2);
    EXPECT_EQ(Bauds().itemText(0), "4800");
    EXPECT_EQ(Bauds().itemText(1), "38400");
    // Each list is named by the label over it.
    std::map<QWidget*, QString> labels;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        labels[label->buddy()] = label->text();
    EXPECT_EQ(labels[&Ports()], "Port:");
    EXPECT_EQ(labels[&Bauds()], "Baud rate:");
    EXPECT_EQ(Ok().text(), "OK");
    EXPECT_EQ(Ok().geometry(), QRect(72, 136, 81, 25));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PortDialogTest, ListsPortsPaddedAndSortedWithOkFocused) {
    ChooseAndConfirm("COM03");
    const qsizetype first = shownItems.indexOf("COM01");
    const qsizetype third = shownItems.indexOf("COM03");
    const qsizetype twelfth = shownItems.indexOf("COM12");
    ASSERT_GE(first, 0) << shownItems.join(' ').toStdString();
    EXPECT_LT(first, third);
    EXPECT_LT(third, twelfth);
    EXPECT_EQ(focusOnOpen, &Ok());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PortDialogTest, SelectsByPositionAndResetsBaudList) {
    port.SetPort(1);
    ChooseAndConfirm("COM03", 1);
    EXPECT_EQ(selectedOnOpen, 1);
    EXPECT_EQ(baudOnOpen, 0);
    EXPECT_EQ(port.Port(), 2);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);

    // The ordinal is past the list's end: nothing selected; the baud list
    // starts at "4800" again whatever the port runs at.
    port.SetPort(200);
    ChooseAndConfirm("COM01");
    EXPECT_EQ(selectedOnOpen, -1);
    EXPECT_EQ(baudOnOpen, 0);
    EXPECT_EQ(port.Port(), 0);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br4800);
}

TEST_F(PortDialogTest, Com09SetsOrdinal8) {
    ChooseAndConfirm("COM09");
    EXPECT_EQ(port.Port(), 8);
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(PortDialogTest, Com12IsNotAvailableAndChangesNothing) {
    port.SetBaudRate(TBaudRate::br38400);
    ChooseAndConfirm("COM12");
    ASSERT_EQ(messages.boxes.size(), 1U);
    EXPECT_EQ(messages.boxes[0].kind, MessageKind::Information);
    EXPECT_EQ(messages.boxes[0].caption, "Information");
    EXPECT_EQ(messages.boxes[0].text, "Port Not Available");
    EXPECT_EQ(port.Port(), 1);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);
}

TEST_F(PortDialogTest, OkWithoutSelectionRaisesConversionErrorAndChangesNothing) {
    port.SetBaudRate(TBaudRate::br38400);
    try {
        ChooseAndConfirm(QString());
        FAIL() << "no conversion error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(port.Port(), 1);
    EXPECT_EQ(port.BaudRate(), TBaudRate::br38400);
}

TEST_F(PortDialogTest, ClosedWithoutOkChangesNothing) {
    test::WhenModal([this] {
        Ports().setCurrentIndex(Ports().findText("COM03"));
        dialog.reject();
    });
    dialog.ShowPropForm(port);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(port.Port(), 1);
    EXPECT_TRUE(messages.boxes.empty());
}

} // namespace
} // namespace dedarida
