#include "app/win32/station/draw_font.h"

#include "app/win32/win32_error.h"

namespace dedarida {

DrawFont::DrawFont(int pixelHeight, bool bold)
    // A negative height asks for the character height, not the cell height.
    : font_(CreateFontW(-pixelHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, L"Tahoma")) {
    if (!font_)
        ThrowLastError("CreateFont");
}

DrawFont::~DrawFont() {
    DeleteObject(font_);
}

} // namespace dedarida
