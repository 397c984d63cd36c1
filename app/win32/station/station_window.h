#pragma once

#include "app/shared/station_board.h"
#include "app/win32/station/draw_font.h"
#include "app/win32/station/tile_painter.h"
#include "fleet/station_stop.h"

#include <string>
#include <windows.h>

namespace dedarida {

// The operator's station window: a header (the station, its firmware and
// log, the counters, each slot's units and failures) above a tile per
// fixture position, all drawn from the board, which a timer reads a few
// times a second. It has no control that changes what the station runs.
// Closing it while units run asks once, then stops the station as Ctrl-C
// does; it goes for good once the station has returned (StationEnded), and
// its destruction ends the message loop. Main thread only.
class StationWindow {
public:
    static constexpr const wchar_t* ClassName = L"DedaridaStation";
    static constexpr const wchar_t* Caption = L"Dedarida Station";

    StationWindow(StationBoard& board, StationStop& stop);
    ~StationWindow();
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    HWND Handle() const { return window_; }
    void Show();
    // The station has returned; `error` is why it could not run, if so.
    // The window goes.
    void StationEnded(const std::string& error);

private:
    template <typename Form> friend LRESULT CALLBACK FormProc(HWND, UINT, WPARAM, LPARAM);
    void Attach(HWND window) { window_ = window; }
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateFrame();
    // Takes the board's snapshot; redraws when it differs from the last.
    void Refresh();
    void Close();
    void Paint();
    void Draw(HDC dc, const RECT& client);
    // Draws the header's lines from the top of `box`; returns where they end.
    int DrawHeader(HDC dc, const RECT& box);

    StationBoard& board_;
    StationStop& stop_;
    HWND window_ = nullptr;
    BoardSnapshot shown_;
    TilePainter tiles_;
    DrawFont titleFont_;
    DrawFont firmwareFont_;
    DrawFont countersFont_;
    DrawFont textFont_;
    // What each paint draws on before it reaches the screen, so that a
    // redraw never flickers; kept while the client's size stays.
    HDC buffer_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    SIZE bufferSize_{};
    bool asking_ = false;
    bool stopping_ = false;
    bool ended_ = false;
};

} // namespace dedarida
