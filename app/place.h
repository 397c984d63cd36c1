#pragma once

#include <QWidget>

namespace dedarida {

// A new control of `parent` named after its form field, at its designed place
// (left, top, width and height in pixels of the client area).
template <typename Control>
Control* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace dedarida
