#pragma once

#include <string>

namespace dedarida::test {

// An environment variable set for the object's life, then removed.
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value);
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable();

private:
    std::string name_;
};

} // namespace dedarida::test
