#include "tests/serial/scoped_variable.h"

#include <cstdlib>

namespace dedarida::test {

ScopedVariable::ScopedVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    setenv(name_.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
    unsetenv(name_.c_str());
}

} // namespace dedarida::test
