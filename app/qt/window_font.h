#pragma once

#include "app/shared/form_design.h"

#include <QFont>

namespace dedarida {

// The forms' font, "MS Sans Serif", at a character height in pixels; where it
// is missing a plain sans-serif of the same height stands in.
QFont WindowFont(int pixelHeight);

} // namespace dedarida
