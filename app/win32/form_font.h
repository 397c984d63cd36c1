#pragma once

#include <windows.h>

namespace dedarida {

// "MS Sans Serif" at a character height in pixels; where it is missing the
// font mapper picks a sans-serif of the same height. Owns the GDI font.
class FormFont {
public:
    explicit FormFont(int pixelHeight);
    ~FormFont();
    FormFont(const FormFont&) = delete;
    FormFont& operator=(const FormFont&) = delete;

    HFONT Handle() const { return font_; }
    // Gives `control` this font; the font must outlive it.
    void ApplyTo(HWND control) const;

private:
    HFONT font_;
};

} // namespace dedarida
