#pragma once

namespace dedarida {

// `dedarida --upgrade --port PORT ...`: one upgrade without a window, through
// the same controller as the window. Returns the exit status.
int RunHeadless(int argc, const char* const* argv);

} // namespace dedarida
