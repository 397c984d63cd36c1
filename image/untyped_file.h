#pragma once

#include "image/block_reader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dedarida {

// A file of one-byte records bound to a name and opened and closed as often as
// needed; owns at most one POSIX descriptor. Every failure raises EInOutError.
// Not thread-safe.
class UntypedFile : public BlockReader {
public:
    UntypedFile() = default;
    UntypedFile(const UntypedFile&) = delete;
    UntypedFile& operator=(const UntypedFile&) = delete;
    ~UntypedFile() override;

    // Binds the name (UTF-8); a descriptor still open from the old name is
    // closed.
    void Assign(std::string Name);
    const std::string& Name() const override { return name_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Opens read-only at offset 0, closing first if open. Anything but a
    // regular file (a directory, a FIFO, a device) fails here.
    void OpenRead() override;
    // Creates the file, or truncates an existing one, for writing.
    void Create();
    // Creates an empty file when none of that name exists; never opens or
    // truncates an existing one. Leaves the file closed.
    void CreateIfAbsent();

    std::size_t BlockRead(std::span<std::uint8_t> Buffer) override;
    void BlockWrite(std::span<const std::uint8_t> Data);
    std::uint64_t FileSize() const override;
    // Raises when the file is not open.
    void Close();

private:
    void RequireOpen() const;
    // Drops the descriptor without reporting: the caller replaces or discards it.
    void Release();
    void Open(int flags);

    std::string name_;
    int fd_ = -1;
};

} // namespace dedarida
