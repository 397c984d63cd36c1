#include "app/win32/station/station_window.h"

#include "app/shared/station_texts.h"
#include "app/shared/tile_grid.h"
#include "app/win32/form_window.h"
#include "app/win32/message_box.h"
#include "app/win32/station/gdi_text.h"
#include "app/win32/wide_text.h"
#include "app/win32/win32_error.h"

#include <algorithm>
#include <cwchar>

namespace dedarida {

namespace {

constexpr UINT_PTR RefreshTimer = 1;
// Often enough for a countdown and a bar; seldom enough to cost nothing.
constexpr UINT RefreshMilliseconds = 250;
constexpr int ClientWidth = 1200;
constexpr int ClientHeight = 820;
constexpr int MinWidth = 480;
constexpr int MinHeight = 360;
constexpr int Border = 10;
constexpr int Spacing = 4;
constexpr COLORREF Background = RGB(0xf5, 0xf5, 0xf5);
constexpr COLORREF TextColour = RGB(0, 0, 0);
constexpr DWORD FrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

} // namespace

StationWindow::StationWindow(StationBoard& board, StationStop& stop)
    : board_(board), stop_(stop), titleFont_(26, true), firmwareFont_(15, false),
      countersFont_(20, true), textFont_(14, false) {
    CreateFrame();
    shown_ = board_.Snapshot();
    if (!SetTimer(window_, RefreshTimer, RefreshMilliseconds, nullptr))
        ThrowLastError("SetTimer");
}

StationWindow::~StationWindow() {
    if (window_)
        DestroyWindow(window_);
    if (buffer_)
        DeleteDC(buffer_);
    if (bitmap_)
        DeleteObject(bitmap_);
}

void StationWindow::CreateFrame() {
    RegisterFormClass(ClassName, FormProc<StationWindow>, nullptr);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT outer{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&outer, FrameStyle, FALSE, 0);
    const int width = std::min<int>(outer.right - outer.left, work.right - work.left);
    const int height = std::min<int>(outer.bottom - outer.top, work.bottom - work.top);
    const int left = work.left + (work.right - work.left - width) / 2;
    const int top = work.top + (work.bottom - work.top - height) / 2;
    // The window procedure stores the handle in window_ as it is created.
    if (!CreateWindowExW(0, ClassName, Caption, FrameStyle, left, top, width, height, nullptr,
                         nullptr, GetModuleHandleW(nullptr), this))
        ThrowLastError("CreateWindowEx");
}

void StationWindow::Show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

LRESULT StationWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == RefreshTimer)
            Refresh();
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        // Every pixel is painted from the buffer.
        return 1;
    case WM_SIZE:
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {MinWidth, MinHeight};
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DESTROY:
        KillTimer(window_, RefreshTimer);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void StationWindow::Refresh() {
    BoardSnapshot snapshot = board_.Snapshot();
    if (snapshot.header == shown_.header && snapshot.tiles == shown_.tiles)
        return;
    shown_ = std::move(snapshot);
    InvalidateRect(window_, nullptr, FALSE);
}

void StationWindow::Close() {
    if (ended_) {
        DestroyWindow(window_);
        return;
    }
    // The question is asked once: a close while it is open, or once the
    // station is stopping, changes nothing.
    if (asking_ || stopping_)
        return;
    if (const unsigned running = board_.Running(); running > 0) {
        asking_ = true;
        const int answer = MessageBoxW(window_, FromCore(StopQuestion(running)).c_str(), Caption,
                                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        asking_ = false;
        if (answer != IDYES || ended_)
            return;
    }
    stopping_ = true;
    InvalidateRect(window_, nullptr, FALSE);
    stop_.Stop();
}

void StationWindow::StationEnded(const std::string& error) {
    Refresh();
    KillTimer(window_, RefreshTimer);
    ended_ = true;
    if (!error.empty())
        ShowMessageBox(window_, MessageKind::Error, Caption, FromSystem(error));
    DestroyWindow(window_);
}

void StationWindow::Paint() {
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(window_, &paint);
    RECT client{};
    GetClientRect(window_, &client);
    const SIZE size{std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1)};
    if (!buffer_ || size.cx != bufferSize_.cx || size.cy != bufferSize_.cy) {
        if (!buffer_)
            buffer_ = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
        if (!buffer_ || !bitmap) {
            EndPaint(window_, &paint);
            ThrowLastError("CreateCompatibleBitmap");
        }
        SelectObject(buffer_, bitmap);
        if (bitmap_)
            DeleteObject(bitmap_);
        bitmap_ = bitmap;
        bufferSize_ = size;
    }
    Draw(buffer_, client);
    BitBlt(screen, 0, 0, size.cx, size.cy, buffer_, 0, 0, SRCCOPY);
    EndPaint(window_, &paint);
}

int StationWindow::DrawHeader(HDC dc, const RECT& box) {
    const BoardHeader& header = shown_.header;
    RECT line = box;
    const auto write = [&](const DrawFont& font, const std::wstring& text) {
        line.top += WriteLine(dc, line, font.Handle(), text) + Spacing;
    };
    write(titleFont_, L"Station " + FromCore(header.info.station));
    write(firmwareFont_, FromCore(FirmwareText(header)));
    write(countersFont_, FromCore(CountersText(header)));
    line.top +=
        WriteWrapped(dc, line, textFont_.Handle(), FromCore(SlotsText(shown_.tiles))) + Spacing;
    return line.top;
}

void StationWindow::Draw(HDC dc, const RECT& client) {
    SetDCBrushColor(dc, Background);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColour);
    RECT inner = client;
    InflateRect(&inner, -Border, -Border);
    const int top = DrawHeader(dc, inner);

    const std::wstring notice =
        stopping_ ? L"stopping the station: each running unit ends with its record"
                  : FromCore(shown_.header.notice);
    const int noticeHeight = LineHeight(dc, textFont_.Handle());
    const RECT noticeBox{inner.left, inner.bottom - noticeHeight, inner.right, inner.bottom};
    SetTextColor(dc, TextColour);
    WriteLine(dc, noticeBox, textFont_.Handle(), notice);

    const RECT area{inner.left, top, inner.right, noticeBox.top - Spacing};
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (shown_.tiles.empty() || width <= 0 || height <= 0)
        return;
    const TileGrid grid = GridFor(shown_.tiles.size(), width, height, TileAspect);
    const int cellWidth = width / grid.columns;
    const int cellHeight = height / grid.rows;
    for (std::size_t i = 0; i < shown_.tiles.size(); ++i) {
        const int column = static_cast<int>(i) % grid.columns;
        const int row = static_cast<int>(i) / grid.columns;
        const RECT cell{area.left + column * cellWidth, area.top + row * cellHeight,
                        area.left + (column + 1) * cellWidth, area.top + (row + 1) * cellHeight};
        tiles_.Paint(dc, cell, shown_.tiles[i]);
    }
}

} // namespace dedarida
