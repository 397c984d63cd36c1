#include "fleet/pinned_image.h"

#include <fstream>
#include <random>

namespace dedarida {

namespace {

namespace fs = std::filesystem;

constexpr const char* FileName = "image.bin";

// A folder no other process has: made here, under a name not taken.
fs::path NewFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        const fs::path folder =
            fs::temp_directory_path() / ("dedarida-image-" + std::to_string(random()));
        if (fs::create_directory(folder)) {
            fs::permissions(folder, fs::perms::owner_all);
            return folder;
        }
    }
}

} // namespace

PinnedImage::PinnedImage(std::span<const std::uint8_t, TxSize> bytes) : folder_(NewFolder()) {
    const fs::path file = folder_ / FileName;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        throw fs::filesystem_error("the firmware image cannot be pinned", file,
                                   std::make_error_code(std::errc::io_error));
    }
    fs::permissions(file, fs::perms::owner_read);
}

PinnedImage::~PinnedImage() {
    std::error_code ignored;
    // Windows deletes no read-only file.
    fs::permissions(folder_ / FileName, fs::perms::owner_all, ignored);
    fs::remove_all(folder_, ignored);
}

std::string PinnedImage::Path() const {
    const std::u8string path = (folder_ / FileName).u8string();
    return std::string(path.begin(), path.end());
}

} // namespace dedarida
