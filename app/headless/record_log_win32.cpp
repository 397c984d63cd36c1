#include "app/headless/record_log.h"
#include "unicode/utf16.h"

#include <windows.h>

namespace dedarida {

namespace {

std::string Reason() {
    return "Windows error " + std::to_string(GetLastError());
}

} // namespace

std::string AppendRecord(const std::string& path, const std::string& record) {
    const HANDLE file =
        CreateFileW(Utf16FromUtf8(path).c_str(), FILE_APPEND_DATA | GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Reason();
    std::string error;
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error = Reason();
    } else {
        // A line another writer left without its end must not swallow this one.
        LARGE_INTEGER size{};
        char last = '\n';
        DWORD got = 0;
        OVERLAPPED at{};
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
            at.Offset = static_cast<DWORD>(size.QuadPart - 1);
            at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
            ReadFile(file, &last, 1, &got, &at);
        }
        const std::string line = (last == '\n' ? "" : "\n") + record + "\n";
        DWORD written = 0;
        if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
            error = Reason();
        else if (written != line.size())
            error = "the disk took only part of the record";
        else if (!FlushFileBuffers(file))
            error = Reason();
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    }
    CloseHandle(file);
    return error;
}

} // namespace dedarida
