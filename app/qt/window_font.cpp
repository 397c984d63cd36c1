#include "app/qt/window_font.h"

#include <QStringList>

namespace dedarida {

QFont WindowFont(int pixelHeight) {
    QFont font;
    font.setFamilies({"MS Sans Serif", "DejaVu Sans", "Liberation Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

} // namespace dedarida
