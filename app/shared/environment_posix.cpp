#include "app/shared/environment.h"

#include <cstdlib>

namespace dedarida {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

} // namespace dedarida
