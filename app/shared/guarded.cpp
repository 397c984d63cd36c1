#include "app/shared/guarded.h"

#include "app/shared/error_box.h"

#include <exception>

namespace dedarida {

void RunGuarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        ShowErrorBox(error);
    }
}

} // namespace dedarida
