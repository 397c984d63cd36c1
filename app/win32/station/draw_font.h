#pragma once

#include <windows.h>

namespace dedarida {

// Tahoma (a font both Windows and wine have) at a character height in
// pixels, for text drawn with GDI rather than shown by a control. Owns the
// GDI font.
class DrawFont {
public:
    DrawFont(int pixelHeight, bool bold);
    ~DrawFont();
    DrawFont(const DrawFont&) = delete;
    DrawFont& operator=(const DrawFont&) = delete;

    HFONT Handle() const { return font_; }

private:
    HFONT font_;
};

} // namespace dedarida
