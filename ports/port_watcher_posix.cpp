#include "ports/list_com_ports.h"
#include "ports/port_watcher.h"
#include "serial/ecomport.h"
#include "system/descriptor_watch_posix.h"

#include <array>
#include <cerrno>
#include <libudev.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace dedarida {

namespace {

// One source of change events: a descriptor that becomes readable, and how
// to take what it holds.
class ChangeSource {
public:
    virtual ~ChangeSource() = default;
    virtual int Fd() const = 0;
    virtual void Drain() = 0;
};

class UdevSource : public ChangeSource {
public:
    UdevSource() : udev_(udev_new()) {
        monitor_ = udev_ ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
        if (!monitor_ ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            Release();
            throw EComPort("Cannot watch the serial ports: udev does not answer");
        }
    }
    ~UdevSource() override { Release(); }
    int Fd() const override { return udev_monitor_get_fd(monitor_); }
    void Drain() override {
        while (udev_device* device = udev_monitor_receive_device(monitor_))
            udev_device_unref(device);
    }

private:
    void Release() {
        if (monitor_)
            udev_monitor_unref(monitor_);
        if (udev_)
            udev_unref(udev_);
    }
    udev* udev_;
    udev_monitor* monitor_ = nullptr;
};

class FolderSource : public ChangeSource {
public:
    explicit FolderSource(const std::string& folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(),
                                         IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) < 0) {
            const int error = errno;
            if (fd_ >= 0)
                close(fd_);
            throw EComPort("Cannot watch the folder " + folder + ": " + std::to_string(error));
        }
    }
    ~FolderSource() override { close(fd_); }
    int Fd() const override { return fd_; }
    void Drain() override {
        std::array<char, 4096> events;
        while (read(fd_, events.data(), events.size()) > 0) {
        }
    }

private:
    int fd_;
};

std::unique_ptr<ChangeSource> MakeSource() {
    const std::string folder = PortsFolder();
    if (!folder.empty())
        return std::make_unique<FolderSource>(folder);
    return std::make_unique<UdevSource>();
}

} // namespace

struct PortWatcher::Platform {
    Platform(std::function<void()> changed)
        : watch(source->Fd(), [this, changed = std::move(changed)] {
              source->Drain();
              changed();
          }) {}
    std::unique_ptr<ChangeSource> source = MakeSource();
    DescriptorWatch watch;
};

PortWatcher::PortWatcher(std::function<void()> changed)
    : platform_(std::make_unique<Platform>(std::move(changed))) {}

PortWatcher::~PortWatcher() = default;

} // namespace dedarida
