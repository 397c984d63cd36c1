#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dedarida {

// What the S-record loader reads a file through, so a test can put its own
// file behind it. Every failure raises EInOutError.
class BlockReader {
public:
    virtual ~BlockReader() = default;

    virtual const std::string& Name() const = 0;
    // Opens for reading at offset 0, closing first if open.
    virtual void OpenRead() = 0;
    virtual std::uint64_t FileSize() const = 0;
    // Reads up to Buffer.size() bytes; fewer only at the end of the file.
    virtual std::size_t BlockRead(std::span<std::uint8_t> Buffer) = 0;

protected:
    BlockReader() = default;
    BlockReader(const BlockReader&) = default;
    BlockReader& operator=(const BlockReader&) = default;
};

} // namespace dedarida
