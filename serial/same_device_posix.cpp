#include "serial/same_device.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace dedarida {

std::string DeviceKey(const std::string& path) {
    if (path.empty())
        return {};
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISCHR(status.st_mode))
            return "char " + std::to_string(major(status.st_rdev)) + ":" +
                   std::to_string(minor(status.st_rdev));
        return "file " + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    std::error_code error;
    const auto normal =
        std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    return "path " + (error ? path : normal.string());
}

} // namespace dedarida
