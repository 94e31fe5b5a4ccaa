// TextPrimitives: finding, copying, trimming, replacing and splitting texts
// of code-page-932 bytes (or the raw UTF-8 bytes of a downloaded page, where
// only ASCII markers are looked for). Positions are 1-based byte positions;
// 0 means "not found". Every search respects the character boundaries of
// code page 932: a match never starts on the second byte of a double-byte
// character.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket {

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Position (1-based) of the first occurrence of `pattern` in `text` that starts
// on a character boundary, or 0. An empty pattern or text gives 0.
std::size_t TextFind(std::string_view text, std::string_view pattern);

// At most `count` bytes of `text` from 1-based `position` on; a position below
// 1 counts as 1; a position beyond the end or a count of 0 or less gives "".
std::string TextCopy(std::string_view text, std::ptrdiff_t position, std::ptrdiff_t count);

// `text` without its leading and trailing bytes 0x00-0x20. A full-width space
// (81 40) is not removed.
std::string_view TextTrimView(std::string_view text);
std::string TextTrim(std::string_view text);

// Every occurrence of `pattern` replaced by `replacement`, left to right,
// ASCII letters compared without regard to case; the replacement is never
// searched again.
std::string TextReplace(std::string_view text, std::string_view pattern,
                        std::string_view replacement);

// TextReplace with an empty replacement.
std::string TextRemove(std::string_view text, std::string_view pattern);

// True when `a` and `b` are equal with ASCII letters compared without regard
// to case (the second byte of a double-byte character is compared exactly).
bool TextSameIgnoringCase(std::string_view a, std::string_view b);

// True when the first literal.size() bytes of `text` equal `literal` exactly
// (case-sensitive). A shorter text never matches. Inline: the extraction
// tests every piece of a page against several short literals.
inline bool HasPrefix(std::string_view text, std::string_view literal) {
    return text.size() >= literal.size() &&
           std::char_traits<char>::compare(text.data(), literal.data(), literal.size()) == 0;
}

// Appends to `list` the non-empty pieces of `text` between occurrences of
// `delimiter` (found as by TextFind). The list is not cleared first.
void SplitText(std::string_view text, std::string_view delimiter, std::vector<std::string>& list);

// SplitText one piece at a time, for texts whose pieces need not all be held
// at once: each piece is a view into the text, which must outlive the
// splitter.
class TextSplitter {
  public:
    TextSplitter(std::string_view text, std::string_view delimiter)
        : text_(text), delimiter_(delimiter) {}

    // Sets `piece` to the next non-empty piece and returns true, or returns
    // false when there is none left.
    bool Next(std::string_view& piece);

  private:
    std::string_view text_;
    std::string_view delimiter_;
    std::size_t current_ = 0;
};

// `text` with the full-width digits, parentheses and hyphens of code page 932
// replaced by their ASCII forms (the 14 pairs of HalfWidthTable, in order).
std::string NormalizeText(std::string_view text);

struct HalfWidthPair {
    std::string_view fullWidth;  // code-page-932 bytes
    std::string_view ascii;
};
extern const std::array<HalfWidthPair, 14> HalfWidthTable;

}  // namespace teebasket
