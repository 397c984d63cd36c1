#include "image/records/record_store.h"

namespace dedarida {

void RecordStore::Store(std::uint64_t Address, std::span<const std::uint8_t> Data, std::size_t Line,
                        RecordFindings& Found) {
    const std::int64_t start = static_cast<std::int64_t>(Address) - AddressOffset;
    std::size_t outside = 0;
    std::size_t overlaps = 0;
    for (std::size_t k = 0; k < Data.size(); ++k) {
        const std::int64_t index = start + static_cast<std::int64_t>(k);
        if (index < 0 || index >= TxSize)
            ++outside;
        if (index < 0 || index >= static_cast<std::int64_t>(FlashImageSize))
            continue;
        const auto at = static_cast<std::size_t>(index);
        if (!covered_.test(at)) {
            covered_.set(at);
            Found.SentBytesCovered += at < static_cast<std::size_t>(TxSize);
        } else if (image_[at] != Data[k]) {
            ++overlaps;
        }
        image_[at] = Data[k];
    }
    if (outside != 0)
        Found.Outside.Note(Line, outside);
    if (overlaps != 0)
        Found.Overlaps.Note(Line, overlaps);
}

} // namespace dedarida
