#include "fuzz/walker_fuzz.h"
#include "image/records/srecord_walker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzWalker<dedarida::SRecordWalker>(data, size);
}
