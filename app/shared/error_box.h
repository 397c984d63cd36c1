#pragma once

#include <exception>

namespace dedarida {

// The default error box for an error nobody else caught: the application's
// title as caption, the error icon, the error's text. Each window provides
// it. Main thread only.
void ShowErrorBox(const std::exception& error);

} // namespace dedarida
