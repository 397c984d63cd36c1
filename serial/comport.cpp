#include "serial/comport.h"

#include "serial/async_record.h"
#include "serial/com_names.h"
#include "serial/com_thread.h"
#include "serial/driver/platform_serial_driver.h"
#include "serial/settings/sub_object_access.h"

#include <exception>
#include <utility>

namespace dedarida {

namespace {

// Another thread's Open/Close is waited for in slices, so the main thread can
// keep running deliveries meanwhile.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

} // namespace

// Marks this thread as the one opening or closing the port; nested calls from
// its own handlers pass, other threads wait.
class TComPort::Transition {
public:
    explicit Transition(TComPort& port) : port_(port) { port_.BeginTransition(); }
    Transition(const Transition&) = delete;
    Transition& operator=(const Transition&) = delete;
    ~Transition() { port_.EndTransition(); }

private:
    TComPort& port_;
};

TComPort::TComPort(MainThread& main) : TComPort(main, NewPlatformSerialDriver()) {}

TComPort::TComPort(MainThread& main, std::unique_ptr<SerialDriver> driver)
    : main_(main), driver_(std::move(driver)), portName_(&ComName(port_)) {}

TComPort::~TComPort() {
    try {
        Close();
    } catch (const std::exception&) {
        // A destructor cannot report it; what Close left undone follows.
    }
    try {
        StopEventThread();
    } catch (const std::exception&) {
        // Raised by a main-thread routine run while waiting, after the thread ended.
    }
    if (deviceUsers_.Admitting())
        CloseDevice();
    while (!PendingOps.IsEmpty())
        delete PendingOps.Pop();
}

// ---- lifecycle ----

void TComPort::BeginTransition() {
    const auto me = std::this_thread::get_id();
    std::unique_lock lock(lifeMutex_);
    while (transitionDepth_ > 0 && transitionOwner_ != me) {
        if (main_.IsMainThread()) {
            lock.unlock();
            main_.RunQueuedFor(kWaitSlice, [this] { return !inTransition_.load(); });
            lock.lock();
        } else {
            lifeChanged_.wait(lock);
        }
    }
    transitionOwner_ = me;
    ++transitionDepth_;
    inTransition_ = true;
}

void TComPort::EndTransition() {
    {
        std::lock_guard lock(lifeMutex_);
        if (--transitionDepth_ > 0)
            return;
        transitionOwner_ = {};
        inTransition_ = false;
    }
    lifeChanged_.notify_all();
    if (!main_.IsMainThread())
        main_.Post([] {});
}

void TComPort::RefuseInsideHandler() const {
    if (deliveringOn_.load() == std::this_thread::get_id())
        throw EComPort("Cannot open or close the port inside its own event handler");
}

void TComPort::Open() {
    RefuseInsideHandler();
    Transition transition(*this);
    CloseSteps();
    OpenSteps();
}

void TComPort::Close() {
    RefuseInsideHandler();
    Transition transition(*this);
    CloseSteps();
}

void TComPort::SetPort(std::uint8_t value) {
    {
        std::lock_guard lock(configMutex_);
        portName_ = &ComName(value);
        if (port_ == value)
            return;
        port_ = value;
    }
    if (!connected_.load())
        return;
    RefuseInsideHandler();
    Transition transition(*this);
    if (connected_.load()) {
        CloseSteps();
        OpenSteps();
    }
}

void TComPort::OpenSteps() {
    if (closing_)
        throw EComPort("Cannot open the port while it is being closed");
    OpenDevice();
    lineLostReported_ = false;
    lineLostDeferred_ = false;
    deviceOpen_ = true;
    try {
        ConfigureAll();
    } catch (...) {
        CloseDevice();
        deviceOpen_ = false;
        throw;
    }
    // Connected once the device is as configured, never before.
    connected_ = true;
    if (!Events().Empty())
        eventThread_ = std::make_unique<TComThread>(*this);
    FireNotify(onOpen_);
}

void TComPort::CloseSteps() {
    if (!connected_.load() || closing_)
        return;
    closing_ = true;
    AbortAll();
    {
        // What Write reported as written must reach the line before the purge.
        const DeviceUsers::Use device(deviceUsers_);
        if (device.In())
            driver_->DrainOutput();
    }
    // A main-thread routine run while waiting may raise; the close still completes.
    std::exception_ptr error;
    try {
        StopEventThread();
    } catch (...) {
        error = std::current_exception();
    }
    CloseDevice();
    connected_ = false;
    deviceOpen_ = false;
    closing_ = false;
    if (error)
        std::rethrow_exception(error);
    FireNotify(onClose_);
}

void TComPort::StopEventThread() {
    std::unique_ptr<TComThread> thread = std::move(eventThread_);
    if (thread)
        thread->Stop();
}

void TComPort::FireNotify(const TNotifyEvent& handler) {
    TNotifyEvent copy;
    {
        std::lock_guard lock(configMutex_);
        copy = handler;
    }
    if (copy)
        copy(*this);
}

// ---- device ----

std::string TComPort::DevicePath() const {
    std::lock_guard lock(configMutex_);
    return devicePath_.empty() ? DevicePathForComName(*portName_.load()) : devicePath_;
}

void TComPort::OpenDevice() {
    const std::string path = DevicePath();
    if (!driver_->Open(path))
        throw EComPort("Unable to open com port: " + LastErrorText());
    deviceUsers_.Admit();
}

void TComPort::CloseDevice() {
    // A transfer waiting on the line is woken, so the descriptor is never
    // closed under it.
    deviceUsers_.Drain([this] { driver_->Purge(purge::TxAbort | purge::RxAbort); });
    driver_->Close();
}

void TComPort::SendSettings(const std::function<bool()>& send) {
    std::lock_guard lock(configMutex_);
    if (!deviceOpen_.load())
        return;
    const DeviceUsers::Use device(deviceUsers_);
    if (!device.In())
        return; // closing: the next Open sends them
    if (!send())
        Fail("Unable to set com state: ");
}

void TComPort::ConfigureBuffers() {
    SendSettings([this] { return driver_->SetupComm(readBufSize_, writeBufSize_); });
}

Dcb TComPort::BuildDcb() const {
    Dcb dcb;
    dcb.BaudRate = BitsPerSecond(baudRate_);
    dcb.fBinary = true;
    dcb.fParity = parity_.check_;
    dcb.fOutxCtsFlow = flowControl_.outCtsFlow_;
    dcb.fOutxDsrFlow = flowControl_.outDsrFlow_;
    dcb.fDtrControl = static_cast<std::uint8_t>(flowControl_.controlDtr_);
    dcb.fOutX = flowControl_.xonXoffOut_;
    dcb.fInX = flowControl_.xonXoffIn_;
    dcb.fErrorChar = parity_.replace_;
    dcb.ErrorChar = parity_.replace_ ? parity_.replaceChar_ : 0;
    dcb.fNull = discardNull_;
    dcb.fRtsControl = static_cast<std::uint8_t>(flowControl_.controlRts_);
    dcb.XonLim = static_cast<std::uint16_t>(readBufSize_ / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<std::uint8_t>(static_cast<unsigned>(dataBits_) + 5);
    dcb.Parity = static_cast<std::uint8_t>(parity_.bits_);
    dcb.StopBits = static_cast<std::uint8_t>(stopBits_);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.EvtChar = eventChar_;
    return dcb;
}

void TComPort::ConfigureLine() {
    SendSettings([this] { return driver_->SetCommState(BuildDcb()); });
}

void TComPort::ConfigureTimeouts() {
    SendSettings([this] {
        return driver_->SetCommTimeouts(
            {static_cast<std::uint32_t>(timeouts_.readInterval_),
             static_cast<std::uint32_t>(timeouts_.readTotalMultiplier_),
             static_cast<std::uint32_t>(timeouts_.readTotalConstant_),
             static_cast<std::uint32_t>(timeouts_.writeTotalMultiplier_),
             static_cast<std::uint32_t>(timeouts_.writeTotalConstant_)});
    });
}

void TComPort::ConfigureAll() {
    ConfigureBuffers();
    ConfigureLine();
    ConfigureTimeouts();
}

std::string TComPort::LastErrorText() const {
    return std::to_string(driver_->LastError());
}

void TComPort::Fail(const char* text) {
    FailWith(text, driver_->LastError());
}

void TComPort::FailWith(const char* text, int error) {
    NoteError(error);
    throw EComPort(text + std::to_string(error));
}

void TComPort::NoteError(int error) {
    if (connected_.load() && driver_->IsLineLost(error))
        ReportLineLost();
}

void TComPort::ReportLineLost() {
    if (!lineLostReported_.exchange(true))
        PostLineLost();
}

void TComPort::PostLineLost() {
    main_.Post([this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired())
            return;
        if (deliveringOn_.load() == std::this_thread::get_id())
            lineLostDeferred_ = true;
        else
            FireNotify(onLineLost_);
    });
}

void TComPort::HandlerEnded() {
    if (lineLostDeferred_.exchange(false))
        PostLineLost();
}

} // namespace dedarida
