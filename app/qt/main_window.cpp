#include "app/qt/main_window.h"

#include "app/qt/menu_enabling.h"
#include "app/qt/message_box.h"
#include "app/qt/place.h"
#include "app/qt/port_dialog.h"
#include "app/qt/window_font.h"
#include "app/shared/guarded.h"
#include "image/firmware_file.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <stdexcept>

namespace dedarida {

namespace {

// The core's texts are 8-bit strings, device replies included.
QString FromCore(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TForm1::TForm1(MainThread& main)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      firmwareFile_(std::make_unique<FirmwareFile>()), programmer_(*this, main) {
    setObjectName("Form1");
    setWindowTitle(Caption);
    setToolTip(form1::Hint);
    setFont(WindowFont(WindowFontHeight));
    // Every shade, the bevel's light and dark lines included, from silver.
    setPalette(QPalette(QColor(0xC0, 0xC0, 0xC0)));

    BuildControls();
    BuildMenus();
    WireSignals();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    move(screen()->availableGeometry().center() - rect().center());

    programmer_.SetSilenceNotices(true);
    programmer_.Init();
}

TForm1::~TForm1() {
    programmer_.CloseAll();
}

void TForm1::BuildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(form1::ClientWidth, form1::ClientHeight);
    setCentralWidget(client);

    auto* bevel = Place<QFrame>(client, "Bevel1", form1::Bevel1);
    bevel->setFrameStyle(QFrame::Box | QFrame::Raised);

    Button1 = Place<QPushButton>(client, "Button1", form1::Button1);
    Button1->setText(form1::StartCaption);
    Button1->setFont(WindowFont(StartFontHeight));

    ProgressBar1 = Place<QProgressBar>(client, "ProgressBar1", form1::ProgressBar1);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    auto* statusBar = Place<QStatusBar>(client, "StatusBar1", form1::StatusBar1);
    statusBar->setSizeGripEnabled(false);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(form1::PanelTexts[i], statusBar);
        panels_[i]->setFixedWidth(form1::PanelWidths[i]);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        statusBar->addWidget(panels_[i]);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(form1::TimerInterval);
}

void TForm1::BuildMenus() {
    File1 = menuBar()->addMenu("File");
    File1->setObjectName("File1");
    File1->menuAction()->setStatusTip("File Commands");
    Open1 = File1->addAction("Open");
    Open1->setObjectName("Open1");
    Open1->setShortcut(Qt::Key_F1);
    Open1->setStatusTip("Open a program file");
    Save1 = File1->addAction("Save");
    Save1->setObjectName("Save1");
    File1->menuAction()->setVisible(false);
    SetMenuEnabled(*File1->menuAction(), false);

    Commands2 = menuBar()->addMenu("Commands");
    Commands2->setObjectName("Commands2");
    Commands2->menuAction()->setStatusTip("Programmer commands");
    SendProgram2 = Commands2->addAction("SendProgram");
    SendProgram2->setObjectName("SendProgram2");
    SendProgram2->setShortcut(Qt::Key_F9);
    SendProgram2->setStatusTip("Send program file to programmer");

    SerialPort1 = menuBar()->addAction("Serial Port");
    SerialPort1->setObjectName("SerialPort1");
    SerialPort1->setStatusTip("Serial port setup");
}

void TForm1::WireSignals() {
    const auto wire = [this](QAction* action, std::function<void()> handler) {
        connect(action, &QAction::triggered, this, Guarded(std::move(handler)));
    };
    connect(Button1, &QPushButton::clicked, this, Guarded([this] { programmer_.Button1Click(); }));
    connect(Timer1, &QTimer::timeout, this, Guarded([this] { programmer_.Timeout(); }));
    wire(Open1, [this] { Open1Click(); });
    wire(Save1, [this] { Save1Click(); });
    wire(SendProgram2, [this] { programmer_.SendCode(); });
    wire(SerialPort1, [this] { programmer_.PortSetup(); });
}

void TForm1::OnMainThread(std::function<void()> update) {
    if (QThread::currentThread() == thread())
        update();
    else
        QMetaObject::invokeMethod(this, Guarded(std::move(update)), Qt::QueuedConnection);
}

void TForm1::SetPanelText(int index, const std::string& text) {
    if (index < 0 || index >= static_cast<int>(panels_.size()))
        throw std::out_of_range("status panel " + std::to_string(index));
    OnMainThread([this, index, text = FromCore(text)] {
        panels_[index]->setText(text);
        // Without one of its own, the panel shows the window's.
        panels_[index]->setToolTip(QString());
    });
}

void TForm1::ShowNotice(const std::string& brief, const std::string& whole) {
    OnMainThread([this, brief = FromCore(brief), whole = FromCore(whole)] {
        panels_[1]->setText(brief);
        // As rich text it wraps instead of running off the screen.
        panels_[1]->setToolTip("<p>" + whole.toHtmlEscaped() + "</p>");
    });
}

void TForm1::SetProgress(int position) {
    OnMainThread([this, position] { ProgressBar1->setValue(position); });
}

void TForm1::SetStartEnabled(bool enabled) {
    OnMainThread([this, enabled] { Button1->setEnabled(enabled); });
}

void TForm1::SetTimerEnabled(bool enabled) {
    OnMainThread([this, enabled] {
        if (enabled)
            Timer1->start();
        else
            Timer1->stop();
    });
}

void TForm1::ShowMessage(MessageKind kind, const std::string& text) {
    OnMainThread([this, kind, text = FromCore(text)] {
        ShowMessageBox(this, kind, QCoreApplication::applicationName(), text);
    });
}

void TForm1::ShowError(const std::string& text) {
    OnMainThread([text = QString::fromLocal8Bit(text)] { ShowErrorBox(text); });
}

void TForm1::ShowPortDialog(TComPort& port) {
    if (portDialog_)
        portDialog_->ShowPropForm(port);
}

} // namespace dedarida
