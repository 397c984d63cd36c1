#include "app/qt/main_window.h"
#include "app/qt/port_dialog.h"
#include "app_test_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

namespace dedarida {
namespace {

using test::ComPty;
using test::MessageRecorder;

class MainWindowTest : public ::testing::Test {
protected:
    template <typename T> T& Child(const char* name) {
        T* child = window.findChild<T*>(name);
        if (!child)
            throw std::runtime_error(std::string("no child ") + name);
        return *child;
    }
    QList<QLabel*> Panels() { return Child<QStatusBar>("StatusBar1").findChildren<QLabel*>(); }
    QAction& Action(const char* name) { return Child<QAction>(name); }
    QMenu& Menu(const char* name) { return Child<QMenu>(name); }

    // COM2 is the port the controller starts with.
    ComPty com2{2};
    MessageRecorder messages;
    TForm1 window{test::MainQueue()};
};

TEST_F(MainWindowTest, CaptionTooltipAndFrame) {
    EXPECT_EQ(window.windowTitle(), "RU Zededirr Halvardin M1 v4.5");
    EXPECT_EQ(QCoreApplication::applicationName(), "RU Zededir");
    EXPECT_EQ(window.toolTip(), "Firmware upgrade tool for Fernwick2");
    EXPECT_TRUE(Child<QPushButton>("Button1").toolTip().isEmpty());
    EXPECT_EQ(window.centralWidget()->size(), QSize(592, 151));
    EXPECT_EQ(window.height(), window.menuBar()->sizeHint().height() + 151);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(window.font().pixelSize(), 11);
}

TEST_F(MainWindowTest, ControlsAtTheirPlaces) {
    auto& bevel = Child<QFrame>("Bevel1");
    EXPECT_EQ(bevel.geometry(), QRect(8, 0, 577, 89));
    EXPECT_EQ(bevel.frameShadow(), QFrame::Raised);

    auto& start = Child<QPushButton>("Button1");
    EXPECT_EQ(start.text(), "START");
    EXPECT_EQ(start.geometry(), QRect(160, 16, 249, 57));
    EXPECT_EQ(start.font().pixelSize(), 23);

    auto& progress = Child<QProgressBar>("ProgressBar1");
    EXPECT_EQ(progress.geometry(), QRect(0, 98, 585, 17));
    EXPECT_EQ(progress.minimum(), 0);
    EXPECT_EQ(progress.maximum(), 100);
    EXPECT_EQ(progress.value(), 0);

    EXPECT_EQ(Child<QStatusBar>("StatusBar1").geometry(), QRect(0, 120, 592, 27));
    const QList<QLabel*> panels = Panels();
    ASSERT_EQ(panels.size(), 3);
    // Init has already written panel 1.
    EXPECT_EQ(panels[0]->text(), "COM:");
    EXPECT_EQ(panels[1]->text(), "Status: Command");
    EXPECT_EQ(panels[2]->text(), "Command:");
    EXPECT_EQ(panels[0]->width(), 70);
    EXPECT_EQ(panels[1]->width(), 150);
    EXPECT_EQ(panels[2]->width(), 100);

    auto& timer = Child<QTimer>("Timer1");
    EXPECT_EQ(timer.interval(), 1000);
    EXPECT_TRUE(timer.isActive());
    window.SetTimerEnabled(false);
    EXPECT_FALSE(timer.isActive());
}

TEST_F(MainWindowTest, MenusWithHiddenDisabledFile) {
    QMenu& file = Menu("File1");
    EXPECT_EQ(file.title(), "File");
    EXPECT_EQ(file.menuAction()->statusTip(), "File Commands");
    EXPECT_FALSE(file.menuAction()->isVisible());
    EXPECT_FALSE(file.menuAction()->isEnabled());
    EXPECT_EQ(Action("Open1").shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(Action("Open1").statusTip(), "Open a program file");
    // F1 must not reach Open behind the disabled menu.
    EXPECT_FALSE(Action("Open1").isEnabled());
    EXPECT_FALSE(Action("Save1").isEnabled());

    QMenu& commands = Menu("Commands2");
    EXPECT_EQ(commands.title(), "Commands");
    EXPECT_EQ(commands.menuAction()->statusTip(), "Programmer commands");
    EXPECT_TRUE(commands.menuAction()->isVisible());
    EXPECT_EQ(Action("SendProgram2").text(), "SendProgram");
    EXPECT_EQ(Action("SendProgram2").shortcut(), QKeySequence(Qt::Key_F9));
    EXPECT_EQ(Action("SendProgram2").statusTip(), "Send program file to programmer");

    QAction& serial = Action("SerialPort1");
    EXPECT_EQ(serial.text(), "Serial Port");
    EXPECT_EQ(serial.statusTip(), "Serial port setup");
    EXPECT_EQ(serial.menu(), nullptr);
    EXPECT_TRUE(window.menuBar()->actions().contains(&serial));
}

TEST_F(MainWindowTest, F9ReachesSendCode) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F9);
    // SendCode opened COM2 and wrote Erase Flash.
    EXPECT_EQ(Panels()[0]->text(), "COM: 2");
    EXPECT_EQ(Panels()[2]->text(), "Erase Flash");
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(MainWindowTest, StartFollowsTheWindowInterface) {
    auto& start = Child<QPushButton>("Button1");
    window.SetStartEnabled(false);
    EXPECT_FALSE(start.isEnabled());
    window.SetStartEnabled(true);
    EXPECT_TRUE(start.isEnabled());
}

TEST_F(MainWindowTest, UpdatesFromAnotherThreadArrivePosted) {
    std::thread other([this] {
        window.SetPanelText(1, "Wait for CRC Check....");
        window.SetProgress(97);
        window.SetStartEnabled(false);
        window.ShowMessage(MessageKind::Error, "System Program Fail");
        window.ShowError("Unable to open com port: 2 (No such file or directory)");
    });
    other.join();
    // Nothing changed on the other thread; the main thread applies it.
    EXPECT_EQ(Panels()[1]->text(), "Status: Command");
    QCoreApplication::processEvents();
    EXPECT_EQ(Panels()[1]->text(), "Wait for CRC Check....");
    EXPECT_EQ(Child<QProgressBar>("ProgressBar1").value(), 97);
    EXPECT_FALSE(Child<QPushButton>("Button1").isEnabled());
    ASSERT_EQ(messages.boxes.size(), 2U);
    EXPECT_EQ(messages.boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.boxes[0].caption, "RU Zededir");
    EXPECT_EQ(messages.boxes[0].text, "System Program Fail");
    EXPECT_EQ(messages.boxes[1].caption, "RU Zededir");
    EXPECT_EQ(messages.boxes[1].text, "Unable to open com port: 2 (No such file or directory)");
}

TEST_F(MainWindowTest, PanelTextsKeepEveryByte) {
    window.SetPanelText(1, "GOING OFFLINE\xE9  ");
    EXPECT_EQ(Panels()[1]->text(), QString::fromLatin1("GOING OFFLINE\xE9  "));
    EXPECT_THROW(window.SetPanelText(3, "x"), std::out_of_range);
}

TEST_F(MainWindowTest, PortSetupErrorReachesTheDefaultErrorBox) {
    TForm2 dialog;
    window.SetPortDialog(&dialog);
    test::WhenModal([&dialog] {
        dialog.findChild<QComboBox*>("ComboBox1")->setCurrentIndex(-1);
        dialog.findChild<QPushButton*>("Button1")->click();
    });
    Action("SerialPort1").trigger();
    window.SetPortDialog(nullptr);

    ASSERT_EQ(messages.boxes.size(), 1U);
    EXPECT_EQ(messages.boxes[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.boxes[0].caption, "RU Zededir");
    EXPECT_EQ(messages.boxes[0].text, "'' is not a valid integer value");
    EXPECT_TRUE(Child<QTimer>("Timer1").isActive());
}

// Ticks woken by hand rather than by Timer1: the tick thread opens the port.
TEST(MainWindowPorts, AnOpenProblemFitsPanel1WithTheWholeInItsTooltipUntilThePortOpens) {
    ::setenv("DEDARIDA_COM2", "/dev/null", 1);
    MessageRecorder messages;
    TForm1 window{test::MainQueue()};
    window.SetTimerEnabled(false);
    const QList<QLabel*> panels =
        window.findChild<QStatusBar*>("StatusBar1")->findChildren<QLabel*>();
    const auto tickUntil = [&](const char* port) {
        return QTest::qWaitFor([&] {
            window.Controller().Timeout();
            return panels[0]->text() == port;
        });
    };
    ASSERT_TRUE(tickUntil("COM: busy"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panels[1]->toolTip().isEmpty(); }));
    const QLabel& status = *panels[1];
    EXPECT_TRUE(status.toolTip().contains("COM2 (/dev/null) is not a serial port"))
        << status.toolTip().toStdString();
    EXPECT_TRUE(status.text().startsWith("COM2")) << status.text().toStdString();
    EXPECT_LE(status.fontMetrics().horizontalAdvance(status.text()), status.contentsRect().width())
        << status.text().toStdString();

    ComPty com2{2};
    ASSERT_TRUE(tickUntil("COM: 2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return status.text() == "Status: Command"; }));
    EXPECT_TRUE(status.toolTip().isEmpty()) << "the window's own tooltip shows again";
    EXPECT_TRUE(messages.boxes.empty());
}

} // namespace
} // namespace dedarida
