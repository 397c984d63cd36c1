#pragma once

#include "app/shared/form_design.h"

#include <QWidget>

namespace dedarida {

// A new control of `parent` named after its form field, at its designed place
// in pixels of the client area.
template <typename Control>
Control* Place(QWidget* parent, const char* name, const ControlPlace& place) {
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(place.left, place.top, place.width, place.height);
    return control;
}

} // namespace dedarida
