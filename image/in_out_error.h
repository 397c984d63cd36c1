#pragma once

#include <stdexcept>

namespace dedarida {

// Every failure of a file operation; the message is "I/O error " and the
// decimal errno of the call that failed.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int ErrorCode);
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

} // namespace dedarida
