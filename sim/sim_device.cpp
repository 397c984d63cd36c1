#include "sim/sim_device.h"

#include "sim/device_loop.h"
#include "sim/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace dedarida::sim {

struct SimDevice::Impl {
    explicit Impl(SimConfig c) : config(std::move(c)), transcript(config.transcriptPath) {}

    SimConfig config;
    class Transcript transcript;
    StatusBoard board;
    InjectedFrames injected;
    std::optional<DeviceLoop> loop;
    UniqueFd stop;
    std::thread thread;
};

SimDevice::SimDevice(SimConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

SimDevice::~SimDevice() {
    Stop();
}

void SimDevice::Start() {
    if (impl_->loop) {
        throw std::logic_error("the simulated device is already started");
    }
    impl_->stop = UniqueFd(::eventfd(0, EFD_CLOEXEC));
    if (impl_->stop.Get() < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    impl_->loop.emplace(impl_->config, impl_->transcript, impl_->board, impl_->injected);
    impl_->board.Update([](SimStatus& s) { s.running = true; });
    impl_->thread = std::thread([impl = impl_.get()] {
        std::string error;
        try {
            impl->loop->Run(impl->stop.Get());
        } catch (const std::exception& e) {
            error = e.what();
        }
        impl->board.Update([&](SimStatus& s) {
            s.running = false;
            s.error = error;
        });
    });
}

void SimDevice::Stop() {
    if (!impl_->thread.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    if (::write(impl_->stop.Get(), &one, sizeof one) != sizeof one) {
        std::perror("dedarida-sim: stop");
    }
    impl_->thread.join();
}

std::string SimDevice::SlavePath() const {
    return impl_->board.Get().slavePath;
}

SimStatus SimDevice::Status() const {
    return impl_->board.Get();
}

bool SimDevice::WaitFor(const std::function<bool(const SimStatus&)>& condition,
                        std::chrono::milliseconds timeout) const {
    return impl_->board.WaitFor(condition, timeout);
}

void SimDevice::Send(std::vector<std::uint8_t> bytes, std::string meaning) {
    impl_->injected.Push({std::move(bytes), std::move(meaning)});
}

std::vector<TranscriptEntry> SimDevice::Transcript() const {
    return impl_->transcript.Entries();
}

std::array<std::uint8_t, FlashSize> SimDevice::Flash() const {
    return impl_->loop ? impl_->loop->FlashBytes() : SimFlash{}.Bytes();
}

void SimDevice::WriteFlash(const std::string& path) const {
    const auto bytes = Flash();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
        throw std::runtime_error("cannot write the flash contents to " + path);
    }
}

} // namespace dedarida::sim
