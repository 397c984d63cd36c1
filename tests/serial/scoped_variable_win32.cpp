#include "tests/serial/scoped_variable.h"

#include <cstdlib>

namespace dedarida::test {

ScopedVariable::ScopedVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
    _putenv_s(name_.c_str(), value.c_str());
}

// An empty value removes the variable.
ScopedVariable::~ScopedVariable() {
    _putenv_s(name_.c_str(), "");
}

} // namespace dedarida::test
