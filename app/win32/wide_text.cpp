#include "app/win32/wide_text.h"

#include <windows.h>

namespace dedarida {

std::wstring FromCore(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return wide;
}

std::string ToCore(const std::wstring& text) {
    std::string narrow(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        narrow[i] = text[i] < 0x100 ? static_cast<char>(text[i]) : '?';
    return narrow;
}

std::wstring FromSystem(const std::string& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (count <= 0)
        return FromCore(text);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), count);
    return wide;
}

} // namespace dedarida
