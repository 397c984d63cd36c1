#include "app/qt/menu_enabling.h"

#include <QAction>
#include <QMenu>

namespace dedarida {

void SetMenuEnabled(QAction& item, bool enabled) {
    item.setEnabled(enabled);
    if (QMenu* menu = item.menu())
        for (QAction* child : menu->actions())
            child->setEnabled(enabled);
}

} // namespace dedarida
