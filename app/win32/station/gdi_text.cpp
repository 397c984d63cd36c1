#include "app/win32/station/gdi_text.h"

#include <algorithm>

namespace dedarida {

namespace {

// Selects a font into a DC for as long as it lives.
class Selected {
public:
    Selected(HDC dc, HFONT font) : dc_(dc), old_(SelectObject(dc, font)) {}
    ~Selected() { SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

constexpr UINT Wrapped = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;

int Height(HDC dc) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight;
}

} // namespace

int LineHeight(HDC dc, HFONT font) {
    const Selected selected(dc, font);
    return Height(dc);
}

int TextWidth(HDC dc, HFONT font, const std::wstring& text) {
    const Selected selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int WriteLine(HDC dc, const RECT& box, HFONT font, const std::wstring& text, UINT align) {
    const Selected selected(dc, font);
    RECT place = box;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place,
              align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_NOCLIP);
    return Height(dc);
}

int WrappedHeight(HDC dc, const RECT& box, HFONT font, const std::wstring& text) {
    const Selected selected(dc, font);
    RECT place = box;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, Wrapped | DT_CALCRECT);
    return std::max<int>(place.bottom - place.top, Height(dc));
}

int WriteWrapped(HDC dc, const RECT& box, HFONT font, const std::wstring& text) {
    const int height = WrappedHeight(dc, box, font, text);
    const Selected selected(dc, font);
    RECT place{box.left, box.top, box.right, box.top + height};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place, Wrapped);
    return height;
}

} // namespace dedarida
