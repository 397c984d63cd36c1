#include "image/in_out_error.h"

#include <string>

namespace dedarida {

EInOutError::EInOutError(int ErrorCode)
    : std::runtime_error("I/O error " + std::to_string(ErrorCode)), errorCode_(ErrorCode) {}

} // namespace dedarida
