#include "app/win32/station/tile_painter.h"

#include "app/shared/station_texts.h"
#include "app/win32/station/draw_font.h"
#include "app/win32/station/gdi_text.h"
#include "app/win32/wide_text.h"

#include <algorithm>
#include <cwchar>
#include <initializer_list>

namespace dedarida {

namespace {

constexpr int Margin = 4;
// The text keeps clear of the flag's frame.
constexpr int Padding = 14;
constexpr int FlagWidth = 6;
constexpr wchar_t Separator[] = L"  \u00b7  ";
constexpr COLORREF White = RGB(0xff, 0xff, 0xff);
constexpr COLORREF Black = RGB(0, 0, 0);

COLORREF Colour(Rgb rgb) {
    return RGB(rgb.red, rgb.green, rgb.blue);
}

void Fill(HDC dc, const RECT& box, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The flag: a thick frame just inside the tile's edge.
void Frame(HDC dc, RECT box, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    for (int i = 0; i < FlagWidth; ++i) {
        FrameRect(dc, &box, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        InflateRect(&box, -1, -1);
    }
}

} // namespace

// The sizes of a tile's lines, from a unit that follows its height.
struct TilePainter::Fonts {
    explicit Fonts(int pixels)
        : unit(pixels), small(pixels, false), flag(pixels, true), heading(pixels * 3 / 2, true),
          bar(pixels * 3 / 2, false), large(pixels * 3, true), verdict(pixels * 4, true) {}

    int unit;
    DrawFont small;
    DrawFont flag;
    DrawFont heading;
    DrawFont bar;
    DrawFont large;
    DrawFont verdict;
};

TilePainter::TilePainter() = default;
TilePainter::~TilePainter() = default;

const TilePainter::Fonts& TilePainter::FontsFor(const RECT& cell) {
    // A cell higher than the tile's shape lends its lines no more width.
    const double height = std::min<double>(cell.bottom - cell.top - 2 * Margin,
                                           (cell.right - cell.left - 2 * Margin) / TileAspect);
    const int unit = std::max(static_cast<int>(height) / 14, 10);
    if (!fonts_ || fonts_->unit != unit)
        fonts_ = std::make_unique<Fonts>(unit);
    return *fonts_;
}

void TilePainter::Paint(HDC dc, const RECT& cell, const Tile& tile) {
    const Fonts& fonts = FontsFor(cell);
    const int unit = fonts.unit;
    const TileColours colours = ColoursOf(tile.state);
    RECT area = cell;
    InflateRect(&area, -Margin, -Margin);
    Fill(dc, area, Colour(colours.background));
    if (tile.flagged) {
        RECT flag = area;
        InflateRect(&flag, -3, -3);
        Frame(dc, flag, Colour(FlagColour));
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(colours.text));

    RECT box = area;
    InflateRect(&box, -Padding, -Padding);
    const auto line = [&](const DrawFont& font, const std::wstring& text, UINT align = DT_LEFT) {
        box.top += WriteLine(dc, box, font.Handle(), text, align);
    };

    // At the foot: the slot's counts, and above them its flag in words.
    const int counts = LineHeight(dc, fonts.small.Handle());
    const int footTop =
        area.bottom - Padding - counts - (tile.flagged ? LineHeight(dc, fonts.flag.Handle()) : 0);

    // Who: the slot, its position, the unit's adapter and device.
    const std::wstring label = L"Slot " + FromCore(tile.label);
    RECT position = box;
    position.left += TextWidth(dc, fonts.heading.Handle(), label) + unit;
    WriteLine(dc, position, fonts.small.Handle(), FromCore(tile.position), DT_RIGHT);
    line(fonts.heading, label);
    std::wstring who;
    const auto add = [&who](const std::wstring& part) {
        who += (who.empty() ? L"" : Separator) + part;
    };
    if (tile.unit > 0 && tile.state != Tile::State::Waiting)
        add(L"unit " + std::to_wstring(tile.unit));
    if (!tile.serial.empty())
        add(L"serial " + FromCore(tile.serial));
    if (!tile.identity.empty())
        add(FromCore(tile.identity));
    line(fonts.small, who);
    box.top += unit / 2;

    switch (tile.state) {
    case Tile::State::Running:
    case Tile::State::Comeback: {
        line(fonts.heading, FromCore(tile.phase));
        if (tile.countdown) {
            line(fonts.large, FromCore(ClockText(*tile.countdown)));
            line(fonts.small, L"plug it in again to go on");
            break;
        }
        const int percent = std::clamp(tile.percent, 0, 100);
        const RECT bar{box.left, box.top + unit / 2, box.right, box.top + unit / 2 + unit * 2};
        Fill(dc, bar, White);
        const RECT done{bar.left, bar.top, bar.left + (bar.right - bar.left) * percent / 100,
                        bar.bottom};
        Fill(dc, done, Colour(ProgressColour));
        SetTextColor(dc, Black);
        WriteLine(dc, bar, fonts.bar.Handle(), std::to_wstring(percent) + L" %", DT_CENTER);
        SetTextColor(dc, Colour(colours.text));
        box.top = bar.bottom + unit;
        std::wstring times = FromCore(ClockText(tile.elapsed)) + L" elapsed";
        if (tile.remaining)
            times += L"   " + FromCore(ClockText(*tile.remaining)) + L" left";
        line(fonts.small, times);
        break;
    }
    case Tile::State::Passed:
    case Tile::State::Failed:
    case Tile::State::Interrupted: {
        // Wrapped, not cut: the operator acts on every word of them. The
        // verdict is drawn smaller where they need its room.
        const std::wstring reason = FromCore(tile.reason);
        const std::wstring hint = FromCore(tile.hint);
        int needed =
            LineHeight(dc, fonts.verdict.Handle()) + LineHeight(dc, fonts.heading.Handle());
        for (const std::wstring* words : {&reason, &hint})
            if (!words->empty())
                needed += WrappedHeight(dc, box, fonts.small.Handle(), *words);
        line(needed <= footTop - box.top ? fonts.verdict : fonts.large, FromCore(tile.verdict));
        for (const std::wstring* words : {&reason, &hint})
            if (!words->empty())
                box.top += WriteWrapped(dc, box, fonts.small.Handle(), *words);
        line(fonts.heading, FromCore(tile.instruction));
        break;
    }
    case Tile::State::Waiting:
        line(fonts.large, FromCore(tile.instruction));
        break;
    }

    // The slot's counts are in the header too: a tile too short for all
    // gives them up first.
    if (box.top > footTop)
        return;
    RECT foot{box.left, area.bottom - Padding - counts, box.right, area.bottom - Padding};
    WriteLine(dc, foot, fonts.small.Handle(), FromCore(UnitsText(tile.units, tile.failures)));
    if (tile.flagged) {
        foot = {box.left, footTop, box.right, foot.top};
        WriteLine(dc, foot, fonts.flag.Handle(), L"last 3 failed: check the fixture");
    }
}

} // namespace dedarida
