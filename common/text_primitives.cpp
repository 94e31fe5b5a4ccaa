// Find, copy, trim and replace on code-page-932 byte strings.
#include "Unicommon.h"

namespace teebasket {
namespace {

bool IsLowerAscii(unsigned char byte) {
    return byte >= 'a' && byte <= 'z';
}

// Walks `text` as code-page-932 characters and calls `visit(offset, width)`
// for each one. A lead byte at the very end counts as a character of one byte.
template <typename Visit>
void ForEachCharacter(std::string_view text, Visit visit) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::size_t width =
            IsLeadByte(static_cast<unsigned char>(text[offset])) && offset + 1 < text.size() ? 2
                                                                                             : 1;
        visit(offset, width);
        offset += width;
    }
}

// The text with the single-byte ASCII letters upper-cased; the second byte of
// a double-byte character is never touched, so lengths and character
// boundaries stay as they were.
std::string UpperCaseAscii(std::string_view text) {
    std::string upper(text);
    ForEachCharacter(text, [&upper](std::size_t offset, std::size_t width) {
        const auto byte = static_cast<unsigned char>(upper[offset]);
        if (width == 1 && IsLowerAscii(byte)) {
            upper[offset] = static_cast<char>(byte - 'a' + 'A');
        }
    });
    return upper;
}

bool HasAsciiLetter(std::string_view text) {
    bool found = false;
    ForEachCharacter(text, [&](std::size_t offset, std::size_t width) {
        const auto byte = static_cast<unsigned char>(text[offset]);
        if (width == 1 && (IsLowerAscii(byte) || (byte >= 'A' && byte <= 'Z'))) {
            found = true;
        }
    });
    return found;
}

// True when text[at] starts a character, given that text[known] (known <= at)
// does. A byte that is not a lead byte always ends a character (alone, or as
// the second byte of a pair), so only the run of lead bytes just before `at`
// matters: from its start, characters take two bytes each, and `at` starts one
// when the run has an even length.
bool StartsCharacter(std::string_view text, std::size_t known, std::size_t at) {
    std::size_t leads = 0;
    while (at - leads > known && IsLeadByte(static_cast<unsigned char>(text[at - leads - 1]))) {
        ++leads;
    }
    return leads % 2 == 0;
}

}  // namespace

std::size_t TextFind(std::string_view text, std::string_view pattern) {
    if (pattern.empty() || text.empty()) {
        return 0;
    }
    std::size_t known = 0;  // a character boundary not behind the search
    for (std::size_t from = 0;;) {
        // One byte (the common delimiters and markers) needs no comparison.
        const std::size_t hit =
            pattern.size() == 1 ? text.find(pattern[0], from) : text.find(pattern, from);
        if (hit == std::string_view::npos) {
            return 0;
        }
        if (StartsCharacter(text, known, hit)) {
            return hit + 1;
        }
        // The hit is the second byte of a double-byte character, so the next
        // byte starts one.
        known = hit + 1;
        from = hit + 1;
    }
}

std::string TextCopy(std::string_view text, std::ptrdiff_t position, std::ptrdiff_t count) {
    if (count <= 0) {
        return {};
    }
    if (position < 1) {
        position = 1;
    }
    const auto start = static_cast<std::size_t>(position - 1);
    if (start >= text.size()) {
        return {};
    }
    return std::string(text.substr(start, static_cast<std::size_t>(count)));
}

std::string_view TextTrimView(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 0x20) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string TextTrim(std::string_view text) {
    return std::string(TextTrimView(text));
}

std::string TextReplace(std::string_view text, std::string_view pattern,
                        std::string_view replacement) {
    if (pattern.empty() || text.empty()) {
        return std::string(text);
    }
    // Letters are compared in upper case; positions found in the upper-cased
    // copy apply to the text itself, since both have the same layout.
    std::string upperText;
    std::string upperPattern;
    std::string_view searchText = text;
    std::string_view searchPattern = pattern;
    if (HasAsciiLetter(pattern)) {
        upperText = UpperCaseAscii(text);
        upperPattern = UpperCaseAscii(pattern);
        searchText = upperText;
        searchPattern = upperPattern;
    }

    std::string result;
    std::size_t rest = 0;
    for (;;) {
        const std::size_t found = TextFind(searchText.substr(rest), searchPattern);
        if (found == 0) {
            break;
        }
        if (result.empty()) {
            result.reserve(text.size());
        }
        result.append(text.substr(rest, found - 1));
        result.append(replacement);
        rest += found - 1 + pattern.size();
    }
    if (rest == 0) {
        return std::string(text);
    }
    result.append(text.substr(rest));
    return result;
}

std::string TextRemove(std::string_view text, std::string_view pattern) {
    return TextReplace(text, pattern, {});
}

bool TextSameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a == b || UpperCaseAscii(a) == UpperCaseAscii(b));
}

}  // namespace teebasket
