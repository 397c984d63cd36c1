#include "ports/open_failure.h"
#include "system/system_handle_win32.h"
#include "text/utf16.h"
#include "unit/record_log.h"
#include "unit/record_log_parts.h"

#include <optional>
#include <windows.h>

namespace dedarida {

namespace {

using FileHandle = SystemHandle<HANDLE, CloseHandle>;

std::string Words(DWORD error) {
    return SystemErrorText(static_cast<int>(error));
}

// What a path with these attributes is when it is no regular file; else empty.
std::string NotAFile(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return "it is a symbolic link (give the file it points to)";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "it is a folder";
    return {};
}

// The log open for reading and writing, shared with other writers: a regular
// file, never reached through a link, made when missing. While another
// program keeps it open without sharing it, tries again as `wait` allows.
// Invalid, with the reason in `error`, when it cannot be used. NTFS journals
// a new name, so unlike POSIX no folder needs syncing.
HANDLE OpenLog(const std::string& path, const LogWait& wait, std::string& error) {
    const std::wstring name = Utf16FromUtf8(path);
    if (const DWORD attributes = GetFileAttributesW(name.c_str());
        attributes != INVALID_FILE_ATTRIBUTES && !(error = NotAFile(attributes)).empty())
        return INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD failure = 0;
    error = WaitWhileBusy(wait, path + " is open in another program that does not share it", [&] {
        file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        failure = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        return failure == ERROR_SHARING_VIOLATION;
    });
    if (!error.empty())
        return INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        error = failure == ERROR_PATH_NOT_FOUND ? "its folder does not exist" : Words(failure);
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK)
        error = "it is a device, not a regular file";
    else if (!GetFileInformationByHandle(file, &information))
        error = Words(GetLastError());
    else
        error = NotAFile(information.dwFileAttributes);
    if (error.empty())
        return file;
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

bool Truncate(HANDLE file, std::uint64_t size) {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Where the log's whole lines end, of its `size`; nothing, with the reason in
// `error`, when that cannot be told or the file is no log.
std::optional<std::uint64_t> EndOfWholeLinesIn(HANDLE file, std::uint64_t& size,
                                               std::string& error) {
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(file, &bytes)) {
        error = Words(GetLastError());
        return std::nullopt;
    }
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return EndOfWholeLines(
        size,
        [&](char* data, std::size_t count, std::uint64_t offset) -> long long {
            OVERLAPPED at = At(offset);
            DWORD got = 0;
            if (!ReadFile(file, data, static_cast<DWORD>(count), &got, &at)) {
                error = Words(GetLastError());
                return -1;
            }
            return got;
        },
        error);
}

// Puts `line` at the end of the locked log, whole or not at all.
std::string AppendLocked(HANDLE file, const std::string& line) {
    std::string error;
    std::uint64_t size = 0;
    const auto end = EndOfWholeLinesIn(file, size, error);
    if (!end)
        return error;
    // A tail without its line end was left by a writer that died.
    if (*end != size && !Truncate(file, *end))
        return "the unfinished line another writer left could not be cut off (" +
               Words(GetLastError()) + ")";
    OVERLAPPED at = At(*end);
    DWORD written = 0;
    if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, &at))
        error = Words(GetLastError());
    else if (written != line.size())
        error = "the disk took only part of the record";
    else if (!FlushFileBuffers(file))
        error = Words(GetLastError());
    if (!error.empty() && !Truncate(file, *end))
        error += "; the part written could not be cut off (" + Words(GetLastError()) + ")";
    return error;
}

} // namespace

std::string CheckLog(const std::string& path) {
    std::string error;
    const FileHandle log(OpenLog(path, {.limit = {}, .interrupted = {}}, error));
    std::uint64_t size = 0;
    if (log.Valid())
        EndOfWholeLinesIn(log.Get(), size, error);
    return error;
}

std::string AppendRecord(const std::string& path, const std::string& record, const LogWait& wait) {
    std::string error;
    const FileHandle log(OpenLog(path, wait, error));
    if (!log.Valid())
        return error;
    OVERLAPPED whole{};
    DWORD lockFailure = 0;
    error = WaitWhileBusy(wait, "another program holds the lock of " + path, [&] {
        lockFailure = LockFileEx(log.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                 MAXDWORD, MAXDWORD, &whole)
                          ? 0
                          : GetLastError();
        return lockFailure == ERROR_LOCK_VIOLATION;
    });
    if (error.empty() && lockFailure != 0)
        error = Words(lockFailure);
    if (!error.empty())
        return error;
    error = AppendLocked(log.Get(), record + "\n");
    UnlockFileEx(log.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    return error;
}

} // namespace dedarida
