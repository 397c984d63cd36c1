#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

// One line of record text, without its line end and the blanks around it.
struct RecordLine {
    // At most the first MaxLength characters; never empty.
    std::span<const std::uint8_t> Text;
    std::size_t Number; // 1-based
    bool BlankInside;
    bool Overlong; // longer than MaxLength
};

// Cuts record text into lines. Lines end at CR, LF or CR LF, mixed as they
// come; blanks (space, tab) around a line are dropped, and empty lines are
// counted but not given. Text may arrive in chunks of any size. Not
// thread-safe.
template <std::size_t MaxLength> class RecordLines {
public:
    // Calls OnLine(const RecordLine&) for each line that Text ends.
    template <class OnLine> void Feed(std::span<const std::uint8_t> Text, OnLine&& onLine) {
        for (const std::uint8_t c : Text) {
            if (c == '\r') {
                EndLine(onLine);
                afterCr_ = true;
            } else if (c == '\n') {
                // The LF of a CR LF ends no second line.
                if (!afterCr_)
                    EndLine(onLine);
                afterCr_ = false;
            } else {
                afterCr_ = false;
                Character(c);
            }
        }
    }

    // The end of the text: gives a last line that has no line end.
    template <class OnLine> void Finish(OnLine&& onLine) {
        if (length_ != 0)
            EndLine(onLine);
        afterCr_ = false;
    }

private:
    void Character(std::uint8_t c) {
        if (c == ' ' || c == '\t') {
            blankPending_ = length_ != 0;
            return;
        }
        if (blankPending_)
            blankInside_ = true;
        blankPending_ = false;
        if (length_ == line_.size())
            overlong_ = true;
        else
            line_[length_++] = c;
    }

    template <class OnLine> void EndLine(OnLine& onLine) {
        if (length_ != 0)
            onLine(RecordLine{std::span(line_.data(), length_), number_, blankInside_, overlong_});
        ++number_;
        length_ = 0;
        blankPending_ = blankInside_ = overlong_ = false;
    }

    std::array<std::uint8_t, MaxLength> line_{};
    std::size_t length_ = 0;
    std::size_t number_ = 1;
    bool afterCr_ = false;
    bool blankPending_ = false;
    bool blankInside_ = false;
    bool overlong_ = false;
};

} // namespace dedarida
