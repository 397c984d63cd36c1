#pragma once

#include <QFont>

namespace dedarida {

// The forms' font, "MS Sans Serif", at a character height in pixels; where it
// is missing a plain sans-serif of the same height stands in.
QFont WindowFont(int pixelHeight);

inline constexpr int WindowFontHeight = 11;
inline constexpr int StartFontHeight = 23;

} // namespace dedarida
