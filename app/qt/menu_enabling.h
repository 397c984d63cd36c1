#pragma once

class QAction;

namespace dedarida {

// Enables or disables a menu bar item together with the items of its
// sub-menu: a shortcut must not run an item whose menu is disabled.
void SetMenuEnabled(QAction& item, bool enabled);

} // namespace dedarida
