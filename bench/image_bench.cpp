// Throughput of the S-record loader on a file of several read chunks, and of
// the text dump.
#include "image/firmware_file.h"
#include "image/flash_dump.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace dedarida {
namespace {

constexpr std::size_t RecordData = 32;

// S2 records with valid checksums covering the whole image.
std::string WholeImageRecords() {
    std::string text;
    char item[8];
    for (std::size_t index = 0; index < FlashImageSize; index += RecordData) {
        const std::size_t count = std::min(RecordData, FlashImageSize - index);
        const auto address = static_cast<std::uint32_t>(AddressOffset + index);
        unsigned sum = static_cast<unsigned>(count + 4) + (address >> 16) +
                       ((address >> 8) & 0xFF) + (address & 0xFF);
        std::snprintf(item, sizeof item, "S2%02zX", count + 4);
        text += item;
        std::snprintf(item, sizeof item, "%06X", address);
        text += item;
        for (std::size_t k = 0; k < count; ++k) {
            const unsigned byte = (index + k) * 13 & 0xFF;
            sum += byte;
            std::snprintf(item, sizeof item, "%02X", byte);
            text += item;
        }
        std::snprintf(item, sizeof item, "%02X\r\n", ~sum & 0xFF);
        text += item;
    }
    return text;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()))).string();
}

void BM_LoadSRecordFile(benchmark::State& state) {
    const std::string path = TempPath("dedarida-bench-records-");
    const std::string text = WholeImageRecords();
    std::ofstream(path, std::ios::binary) << text;
    auto firmware = std::make_unique<FirmwareFile>();
    auto image = std::make_unique<TFlashImage>();
    firmware->Open(path);
    for (auto _ : state) {
        firmware->Load(*image);
        benchmark::DoNotOptimize(image->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["file_bytes"] = static_cast<double>(text.size());
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadSRecordFile)->Unit(benchmark::kMicrosecond);

void BM_WriteFlashDump(benchmark::State& state) {
    const std::string path = TempPath("dedarida-bench-dump-");
    auto image = std::make_unique<TFlashImage>();
    image->fill(0x5A);
    UntypedFile dump;
    dump.Assign(path);
    for (auto _ : state) {
        dump.Create();
        WriteFlashDump(dump, *image);
        dump.Close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FlashDumpSize));
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteFlashDump)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace dedarida

BENCHMARK_MAIN();
