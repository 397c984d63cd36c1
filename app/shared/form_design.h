#pragma once

#include <array>

namespace dedarida {

// The forms as designed: texts, places and sizes that every window toolkit
// builds the same. Places are left, top, width and height in pixels of the
// client area.
struct ControlPlace {
    int left;
    int top;
    int width;
    int height;
};

// The taskbar text and the caption of the default error box.
inline constexpr const char* ApplicationTitle = "RU Zededir";

// "MS Sans Serif" character heights in pixels.
inline constexpr int WindowFontHeight = 11;
inline constexpr int StartFontHeight = 23;

namespace form1 {

inline constexpr const char* Caption = "RU Zededirr Halvardin M1 v4.5";
inline constexpr const char* Hint = "Firmware upgrade tool for Fernwick2";
inline constexpr int ClientWidth = 592;
inline constexpr int ClientHeight = 151;
inline constexpr int MinWidth = 600;
inline constexpr int MaxWidth = 737;
inline constexpr int MinHeight = 197;
inline constexpr int MaxHeight = 300;

inline constexpr ControlPlace Bevel1{8, 0, 577, 89};
inline constexpr ControlPlace Button1{160, 16, 249, 57};
inline constexpr const char* StartCaption = "START";
inline constexpr ControlPlace ProgressBar1{0, 98, 585, 17};
inline constexpr ControlPlace StatusBar1{0, 120, 592, 27};
inline constexpr std::array PanelTexts{"COM:", "Status:", "Command:"};
inline constexpr std::array PanelWidths{70, 150, 100};
inline constexpr int TimerInterval = 1000;

} // namespace form1

namespace form2 {

inline constexpr const char* Caption = "Com Port Selection";
inline constexpr int ClientWidth = 241;
inline constexpr int ClientHeight = 189;
inline constexpr int Left = 387;
inline constexpr int Top = 317;
// Each list says what it holds, in a label above it.
inline constexpr ControlPlace Label1{56, 6, 113, 16};
inline constexpr const char* Label1Caption = "Port:";
inline constexpr ControlPlace ComboBox1{56, 24, 113, 21};
inline constexpr ControlPlace Label2{56, 62, 113, 16};
inline constexpr const char* Label2Caption = "Baud rate:";
inline constexpr ControlPlace ComboBox2{56, 80, 113, 21};
inline constexpr std::array BaudItems{"4800", "38400"};
inline constexpr ControlPlace Button1{72, 136, 81, 25};
inline constexpr const char* OkCaption = "OK";
inline constexpr const char* NotAvailableCaption = "Information";
inline constexpr const char* NotAvailableText = "Port Not Available";

} // namespace form2

} // namespace dedarida
