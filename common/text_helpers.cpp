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

void SplitText(const std::string& text, const std::string& delimiter,
               std::vector<std::string>& list) {
    const std::string_view whole(text);
    std::size_t current = 0;  // 0-based offset of the rest
    while (current < whole.size()) {
        const std::string_view rest = whole.substr(current);
        const std::size_t found = TextFind(rest, delimiter);
        if (found == 0) {
            list.emplace_back(rest);
            return;
        }
        if (found > 1) {
            list.emplace_back(rest.substr(0, found - 1));
        }
        current += found - 1 + delimiter.size();
    }
}

// Each pair replaces one whole double-byte character by one ASCII byte, so the
// character boundaries behind a replacement never move and no replacement can
// create an occurrence of another pair: one walk over the characters gives
// the same text as applying the pairs one after the other.
std::string NormalizeText(const std::string& text) {
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
