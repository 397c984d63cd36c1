// Throughput of the receive framer in both modes, and the cost of building
// and writing one data block.

#include "link/link.h"
#include "serial/run_queue.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <utility>
#include <vector>

namespace {

using namespace dedarida;

// Serves the same input again and again; discards what is written.
class LoopPort : public DataPort {
public:
    explicit LoopPort(std::vector<std::uint8_t> input) : input_(std::move(input)) {}

    void Refill() { left_ = input_.size(); }
    std::int32_t Write(const void*, std::int32_t Count, bool) override { return Count; }
    std::int32_t Read(void* Buffer, std::int32_t Count, bool) override {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(Count), left_);
        std::copy_n(input_.end() - static_cast<std::ptrdiff_t>(left_), count,
                    static_cast<std::uint8_t*>(Buffer));
        left_ -= count;
        return static_cast<std::int32_t>(count);
    }
    std::int32_t InputCount() override { return static_cast<std::int32_t>(left_); }
    std::int32_t WaitForWrite() override { return -2; }

private:
    std::vector<std::uint8_t> input_;
    std::size_t left_ = 0;
};

class SilentPanels : public StatusPanels {
public:
    void SetPanelText(int, const std::string&) override {}
};

// 2000 bytes of back-to-back replies of the mode.
std::vector<std::uint8_t> Replies(std::uint8_t mode) {
    const std::vector<std::uint8_t> boot = {0x10, 0x02, 0x06, 0x00, 0x02,
                                            0x10, 0x10, 0x18, 0x10, 0x03};
    const std::vector<std::uint8_t> app = {0x55, 0x3F, 0x30, 0x06, 0x5D,
                                           0x00, 0x4F, 0x4B, 0x21, 0xF8};
    const auto& reply = mode == BootMode ? boot : app;
    std::vector<std::uint8_t> bytes;
    while (bytes.size() + reply.size() <= 2000)
        bytes.insert(bytes.end(), reply.begin(), reply.end());
    return bytes;
}

void BM_Framer(benchmark::State& state) {
    const auto mode = static_cast<std::uint8_t>(state.range(0));
    LoopPort port(Replies(mode));
    TFlashImage image{};
    SilentPanels panels;
    RunQueue main;
    Link link(port, image, panels, main);
    link.SetLinkMode(mode);
    std::int64_t frames = 0;
    for (auto _ : state) {
        port.Refill();
        do {
            link.ReceiveFrames();
            frames += link.TakeFrame() ? 1 : 0;
        } while (link.MoreToReceive());
    }
    benchmark::DoNotOptimize(frames);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Replies(mode).size()));
    state.SetLabel(mode == BootMode ? "bootloader" : "application");
}
BENCHMARK(BM_Framer)->Arg(AppMode)->Arg(BootMode);

void BM_DataBlock(benchmark::State& state) {
    LoopPort port({});
    TFlashImage image{};
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7);
    SilentPanels panels;
    RunQueue main;
    Link link(port, image, panels, main);
    for (auto _ : state) {
        if (link.EndOfImage) {
            link.EndOfImage = 0;
            link.BlockPosition = 0;
        }
        link.SendDataBlock();
    }
    state.SetBytesProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_DataBlock);

} // namespace

BENCHMARK_MAIN();
