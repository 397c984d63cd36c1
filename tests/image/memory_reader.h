#pragma once

#include "image/block_reader.h"
#include "image/in_out_error.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <string>
#include <utility>

namespace dedarida::test {

// A file held in memory. From byte `cut` on a read fails (EInOutError) or,
// for a file that shrinks while read, ends early.
class MemoryReader : public BlockReader {
public:
    enum class Cut { Fails, Shrinks };

    MemoryReader(std::string name, std::string text,
                 std::size_t cut = std::numeric_limits<std::size_t>::max(), Cut how = Cut::Fails)
        : name_(std::move(name)), text_(std::move(text)), cut_(cut), how_(how) {}

    const std::string& Name() const override { return name_; }
    void OpenRead() override { position_ = 0; }
    std::uint64_t FileSize() const override { return text_.size(); }
    std::size_t BlockRead(std::span<std::uint8_t> Buffer) override {
        const std::size_t wanted = std::min(Buffer.size(), text_.size() - position_);
        const std::size_t given = std::min(wanted, std::max(cut_, position_) - position_);
        std::copy_n(text_.data() + position_, given, Buffer.data());
        position_ += given;
        if (given < wanted && how_ == Cut::Fails)
            throw EInOutError(EIO);
        return given;
    }

private:
    std::string name_;
    std::string text_;
    std::size_t cut_;
    Cut how_;
    std::size_t position_ = 0;
};

} // namespace dedarida::test
