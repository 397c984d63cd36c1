#pragma once

#include <string>
#include <windows.h>

namespace dedarida {

// Draws `text` on one line at the top of `box` in `font` and the DC's text
// colour, cut with an ellipsis where it is wider than the box; `align` is
// DT_LEFT, DT_CENTER or DT_RIGHT. Returns the height of a line of the font.
int WriteLine(HDC dc, const RECT& box, HFONT font, const std::wstring& text, UINT align = DT_LEFT);

// Draws `text` at the top of `box`, wrapped at its words; returns the height
// it took (a line's at least).
int WriteWrapped(HDC dc, const RECT& box, HFONT font, const std::wstring& text);

// The height WriteWrapped takes for `text` in `box`.
int WrappedHeight(HDC dc, const RECT& box, HFONT font, const std::wstring& text);

// The height of a line of `font`.
int LineHeight(HDC dc, HFONT font);
// The width of `text` on one line in `font`.
int TextWidth(HDC dc, HFONT font, const std::wstring& text);

} // namespace dedarida
