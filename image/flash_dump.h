#pragma once

#include "image/flash_image.h"
#include "image/untyped_file.h"

#include <cstddef>

namespace dedarida {

// Bytes in the text dump of the first TxSize bytes of an image.
inline constexpr std::size_t FlashDumpSize = 371'824;

// Writes FlashImage[0 .. TxSize-1] to the open DumpFile as "$XX," items, with
// CR LF after every item whose index is a non-zero multiple of 9. Write errors
// raise EInOutError.
void WriteFlashDump(UntypedFile& DumpFile, const TFlashImage& FlashImage);

} // namespace dedarida
