#pragma once

#include "link/link.h"
#include "serial/run_queue.h"
#include "tests/link/fake_port.h"

#include <map>
#include <mutex>
#include <string>

namespace dedarida::test {

// The status bar as a map of panel texts. Thread-safe.
class RecordingPanels : public StatusPanels {
public:
    void SetPanelText(int index, const std::string& text) override {
        std::lock_guard lock(mutex_);
        texts_[index] = text;
    }
    std::string Text(int index) const {
        std::lock_guard lock(mutex_);
        const auto found = texts_.find(index);
        return found == texts_.end() ? std::string{} : found->second;
    }

private:
    mutable std::mutex mutex_;
    std::map<int, std::string> texts_;
};

// A link over a fake port; the constructing thread is the main thread.
struct LinkFixture {
    explicit LinkFixture(ReplyWaitBounds bounds = {}) : link(port, image, panels, main, bounds) {}

    // Delivers `bytes` and runs the interpreter's loop, counting the frames.
    int Deliver(const Bytes& bytes) {
        port.Arrive(bytes);
        int frames = 0;
        do {
            link.ReceiveFrames();
            frames += link.TakeFrame() ? 1 : 0;
        } while (link.MoreToReceive());
        return frames;
    }
    Bytes Frame() const {
        const auto& frame = link.RxFrame();
        return Bytes(frame.begin(), frame.begin() + link.RxFrameLength());
    }

    FakePort port;
    TFlashImage image{};
    RecordingPanels panels;
    RunQueue main;
    Link link;
};

} // namespace dedarida::test
