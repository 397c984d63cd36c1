#include "app/win32/form_font.h"

#include "app/win32/win32_error.h"

namespace dedarida {

FormFont::FormFont(int pixelHeight)
    // A negative height asks for the character height, not the cell height.
    : font_(CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif")) {
    if (!font_)
        ThrowLastError("CreateFont");
}

FormFont::~FormFont() {
    DeleteObject(font_);
}

void FormFont::ApplyTo(HWND control) const {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

} // namespace dedarida
