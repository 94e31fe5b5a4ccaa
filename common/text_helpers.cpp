// SplitText and NormalizeText on code-page-932 byte strings.
#include <algorithm>

#include "Unicommon.h"

namespace teebasket {

// Full-width forms in code-page-932 bytes and their ASCII replacements, in the
// order they are applied.
const std::array<HalfWidthPair, 14> HalfWidthTable = {{
    {"\x81\x7C", "-"},  // － U+FF0D
    {"\x81\x5D", "-"},  // ‐ U+2010
    {"\x81\x69", "("},  // （
    {"\x81\x6A", ")"},  // ）
    {"\x82\x50", "1"},
    {"\x82\x51", "2"},
    {"\x82\x52", "3"},
    {"\x82\x53", "4"},
    {"\x82\x54", "5"},
    {"\x82\x55", "6"},
    {"\x82\x56", "7"},
    {"\x82\x57", "8"},
    {"\x82\x58", "9"},
    {"\x82\x4F", "0"},
}};

bool TextSplitter::Next(std::string_view& piece) {
    while (current_ < text_.size()) {
        const std::string_view rest = text_.substr(current_);
        const std::size_t found = TextFind(rest, delimiter_);
        if (found == 0) {
            piece = rest;
            current_ = text_.size();
            return true;
        }
        current_ += found - 1 + delimiter_.size();
        if (found > 1) {
            piece = rest.substr(0, found - 1);
            return true;
        }
    }
    return false;
}

void SplitText(std::string_view text, std::string_view delimiter, std::vector<std::string>& list) {
    TextSplitter splitter(text, delimiter);
    for (std::string_view piece; splitter.Next(piece);) {
        list.emplace_back(piece);
    }
}

// Each pair replaces one whole double-byte character by one ASCII byte, so the
// character boundaries behind a replacement never move and no replacement can
// create an occurrence of another pair: one walk over the characters gives
// the same text as applying the pairs one after the other.
std::string NormalizeText(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (!IsLeadByte(static_cast<unsigned char>(text[i])) || i + 1 == text.size()) {
            result.push_back(text[i++]);
            continue;
        }
        const std::string_view character(text.data() + i, 2);
        const auto pair = std::find_if(HalfWidthTable.begin(), HalfWidthTable.end(),
                                       [character](const HalfWidthPair& candidate) {
                                           return candidate.fullWidth == character;
                                       });
        result.append(pair == HalfWidthTable.end() ? character : pair->ascii);
        i += 2;
    }
    return result;
}

}  // namespace teebasket
