#pragma once

#include <string>

namespace dedarida {

// The value of the environment variable `name` in UTF-8; empty when unset.
std::string EnvironmentValue(const char* name);

} // namespace dedarida
