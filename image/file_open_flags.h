#pragma once

namespace dedarida {

// Added to every open() of a file: not inherited by programs the tool starts,
// and no newline translation where the system has text mode.
int FileOpenFlags();

} // namespace dedarida
