#include "fuzz/walker_fuzz.h"
#include "image/records/intel_hex_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzWalker<dedarida::IntelHexWalker>(data, size);
}
