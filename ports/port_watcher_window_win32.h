#pragma once

namespace dedarida {

// The class of the message-only window through which a PortWatcher hears of
// serial ports coming and going.
inline constexpr wchar_t kPortWatcherWindowClass[] = L"dedarida port watcher";

} // namespace dedarida
