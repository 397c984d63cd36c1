#pragma once

#include "serial/data_port.h"
#include "serial/device_users.h"
#include "serial/driver/serial_driver.h"
#include "serial/ecomport.h"
#include "serial/gen_alg.h"
#include "serial/main_thread.h"
#include "serial/settings/com_timeouts.h"
#include "serial/settings/comport_types.h"
#include "serial/settings/flow_control.h"
#include "serial/settings/parity.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace dedarida {

class TComThread;
struct AsyncRecord;

// One serial port: its configuration, open/close, data operations and line
// events. Every failure raises EComPort.
//
// Threading (any thread may call anything, except where noted):
// - Open, Close, SetPort: serialised among themselves; on the main thread a
//   wait for another thread's open/close, or for the event thread to end,
//   keeps running queued main-thread routines. Inside one of the port's own
//   line-event handlers they raise EComPort (the event thread cannot end
//   while it waits for the handler): post the call instead. A Close inside a
//   routine run during another Close's wait returns at once, the port being
//   closed already; an Open there raises.
// - Connected, getters: lock-free or a short lock; safe from handlers.
// - Setters: short lock; the driver call happens under it (never a wait).
// - Write / Read: one write and one read may run at the same time; writes
//   (and reads) among themselves are serialised in call order. Close waits for
//   the one in progress after waking it.
// - WaitForWrite, AbortAll, InputCount: any thread, also from handlers.
// - Handlers run on the main thread (smSynchronize, smWindow) or on the event
//   thread (smNone), one at a time; no internal lock is held while they run.
class TComPort : public DataPort {
public:
    explicit TComPort(MainThread& main);
    TComPort(MainThread& main, std::unique_ptr<SerialDriver> driver);
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;
    ~TComPort() override;

    void Open();
    void Close();
    bool Connected() const { return connected_.load(); }
    // Line errors of the port's current open, or of its last one once closed.
    LineErrorCounts LineErrors() const { return driver_->LineErrors(); }

    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate value);
    // 0 = COM1 ... 255 = COM256.
    std::uint8_t Port() const;
    void SetPort(std::uint8_t value);
    // "COM" + (Port + 1); the string lives as long as the program.
    const std::string& PortName() const;
    // Not empty: Open uses this device instead of resolving PortName.
    void SetDevicePath(std::string path);
    // The device Open opens: the one set, or the one PortName stands for.
    std::string DevicePath() const;
    TSyncMethod SyncMethod() const;
    void SetSyncMethod(TSyncMethod value);
    std::uint32_t WriteBufSize() const;
    void SetWriteBufSize(std::uint32_t value);
    std::uint32_t ReadBufSize() const;
    void SetReadBufSize(std::uint32_t value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const;
    void SetDataBits(TDataBits value);
    bool DiscardNull() const;
    void SetDiscardNull(bool value);
    std::uint8_t EventChar() const;
    void SetEventChar(std::uint8_t value);
    // Read only by Open.
    TEvents Events() const;
    void SetEvents(TEvents value);

    TParity& Parity() { return parity_; }
    TFlowControl& FlowControl() { return flowControl_; }
    TComTimeouts& Timeouts() { return timeouts_; }

    void SetOnRxChar(TRxCharEvent handler);
    void SetOnTxEmpty(TNotifyEvent handler);
    void SetOnBreak(TNotifyEvent handler);
    void SetOnRing(TNotifyEvent handler);
    void SetOnCTS(TNotifyEvent handler);
    void SetOnDSR(TNotifyEvent handler);
    void SetOnRLSD(TNotifyEvent handler);
    void SetOnRxFlag(TNotifyEvent handler);
    void SetOnError(TNotifyEvent handler);
    void SetOnRx80Full(TNotifyEvent handler);
    void SetOnOpen(TNotifyEvent handler);
    void SetOnClose(TNotifyEvent handler);
    // Not a line event: the device has gone (a hang-up, an adapter pulled
    // out), seen by the event wait or by a data operation. Posted to the main
    // thread, at most once per Open.
    void SetOnLineLost(TNotifyEvent handler);

    // With Wait false, Buffer must stay valid until WaitForWrite or AbortAll
    // has dealt with the operation.
    std::int32_t Write(const void* Buffer, std::int32_t Count, bool Wait) override;
    std::int32_t Read(void* Buffer, std::int32_t Count, bool Wait) override;
    std::int32_t InputCount() override;
    std::int32_t WaitForWrite() override;
    // Drops every pending operation; no driver call when none is pending.
    void AbortAll();

private:
    friend class TComThread;
    friend struct SubObjectAccess;

    enum Direction { kWrite, kRead };
    class Transition;

    std::recursive_mutex& ConfigMutex() const { return configMutex_; }
    void OpenDevice();
    void CloseDevice();
    // Under the config lock, only while connected; `send` false raises.
    void SendSettings(const std::function<bool()>& send);
    void ConfigureBuffers();
    void ConfigureLine();
    void ConfigureTimeouts();
    void ConfigureAll();
    Dcb BuildDcb() const;
    std::string LastErrorText() const;
    // Raise EComPort with `text` and the driver's last error (or `error`),
    // first reporting a lost line where the error means one.
    [[noreturn]] void Fail(const char* text);
    [[noreturn]] void FailWith(const char* text, int error);
    void NoteError(int error);
    void ReportLineLost();
    // Posts OnLineLost to the main thread. It fires there once no handler of
    // this port runs on that thread; inside one (a modal box it shows keeps
    // the loop going) its Close would be refused, so it waits for the
    // handler's end (see HandlerEnded).
    void PostLineLost();
    // Run by the event thread's delivery once a handler has returned.
    void HandlerEnded();
    void RefuseInsideHandler() const;

    void BeginTransition();
    void EndTransition();
    void OpenSteps();
    void CloseSteps();
    void StopEventThread();
    void FireNotify(const TNotifyEvent& handler);
    void SetLineHandler(TEvent event, TNotifyEvent handler);

    std::int32_t StartTransfer(Direction direction, std::uint8_t* data, std::int32_t count,
                               bool wait);
    // Completes (blocking) or advances the pending operations of `direction`,
    // oldest first; false if one is still in progress.
    bool AdvanceEarlier(Direction direction, bool block);

    // Handlers for the event thread, read under the config lock.
    TRxCharEvent RxCharHandler() const;
    TNotifyEvent LineHandler(TEvent event) const;

    MainThread& main_;
    std::unique_ptr<SerialDriver> driver_;

    mutable std::recursive_mutex configMutex_;
    TBaudRate baudRate_ = TBaudRate::br9600;
    std::uint8_t port_ = static_cast<std::uint8_t>(TPortType::COM2);
    std::atomic<const std::string*> portName_;
    std::string devicePath_;
    TStopBits stopBits_ = TStopBits::sbOneStopBit;
    TDataBits dataBits_ = TDataBits::dbEight;
    bool discardNull_ = false;
    std::uint8_t eventChar_ = 0;
    TEvents events_ = TEvents::All();
    std::uint32_t writeBufSize_ = 1024;
    std::uint32_t readBufSize_ = 1024;
    TSyncMethod syncMethod_ = TSyncMethod::smSynchronize;
    TParity parity_{*this};
    TFlowControl flowControl_{*this};
    TComTimeouts timeouts_{*this};
    TRxCharEvent onRxChar_;
    std::array<TNotifyEvent, 10> onLineEvent_; // by TEvent ordinal
    TNotifyEvent onOpen_;
    TNotifyEvent onClose_;
    TNotifyEvent onLineLost_;
    std::atomic<bool> lineLostReported_ = false;
    std::atomic<bool> lineLostDeferred_ = false;
    // Posted routines that outlive the port find it gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    // The thread running one of this port's line-event handlers, if any.
    std::atomic<std::thread::id> deliveringOn_{};

    std::atomic<bool> connected_ = false;
    // The device is open, so settings go to it; Connected only once they all
    // went (Open and Close, under the transition).
    std::atomic<bool> deviceOpen_ = false;

    // Open/Close in progress: owner thread and nesting (handlers may reopen).
    std::mutex lifeMutex_;
    std::condition_variable lifeChanged_;
    std::thread::id transitionOwner_;
    int transitionDepth_ = 0;
    std::atomic<bool> inTransition_ = false;
    // The transition owner is inside CloseSteps.
    bool closing_ = false;
    std::unique_ptr<TComThread> eventThread_;

    // Every call that uses the open device; closing waits for them.
    DeviceUsers deviceUsers_;
    // Serialises transfers of one direction, so bytes keep their call order.
    std::array<std::mutex, 2> directionMutex_;
    // Guards PendingOps itself; held only briefly.
    std::mutex opsMutex_;
    TStack<AsyncRecord> PendingOps;
};

} // namespace dedarida
