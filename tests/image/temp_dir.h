#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dedarida::test {

// A fresh directory under the system's temp directory, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto name = "dedarida-" + std::to_string(random());
            path_ = std::filesystem::temp_directory_path() / name;
            // Only a directory made now is ours.
            if (std::filesystem::create_directory(path_))
                return;
        }
        throw std::runtime_error("no fresh temporary directory");
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::string Path(std::string_view name) const { return (path_ / name).string(); }

    std::string Write(std::string_view name, std::string_view content) const {
        const std::string file = Path(name);
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    static std::string Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

} // namespace dedarida::test
