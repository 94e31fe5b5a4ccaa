// UTF-8, UTF-16 and code page 932.
//
// Code page 932 is looked up in the compiled-in tables of cp932_table.cpp,
// generated from glibc's CP932 (which has the Windows mappings and its close
// substitutes, such as U+301C -> 81 60). UTF-8 goes to code page 932 in one
// pass: runs of ASCII are copied in blocks, every other character is decoded,
// joined with the combining marks that follow it and looked up, and the
// result is written into a buffer sized once (code page 932 never takes more
// bytes than UTF-8 for the same text). Every table is immutable, so the
// conversions are lock-free on any thread.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "MECSUtils.h"
#include "Unicommon.h"
#include "combining_marks_table.h"
#include "cp932_table.h"
#include "other_code_pages.h"

namespace teebasket {
namespace {

constexpr char32_t kReplacementCharacter = U'\uFFFD';
constexpr char kDefaultCharacter = '?';

// ---------------------------------------------------------------------------
// Combining marks

// Which code points are combining marks (general category M), and the
// precomposed character of a base and a mark, from the generated tables of
// combining_marks_table.cpp. The BMP's marks are kept as a bit set made once
// per process, so the common case costs one look-up.
class CombiningMarks {
  public:
    CombiningMarks() : bmp_{} {
        for (std::size_t i = 0; i < combining_marks::kMarkRangeCount; ++i) {
            const combining_marks::Range& range = combining_marks::kMarkRanges[i];
            for (char32_t c = range.first; c <= range.last && c < 0x10000; ++c) {
                bmp_[c >> 6] |= std::uint64_t{1} << (c & 63);
            }
        }
    }

    bool IsMark(char32_t codePoint) const {
        if (codePoint < 0x300) {
            return false;
        }
        if (codePoint < 0x10000) {
            return (bmp_[codePoint >> 6] >> (codePoint & 63) & 1) != 0;
        }
        const auto* end = combining_marks::kMarkRanges + combining_marks::kMarkRangeCount;
        const auto* range = std::upper_bound(
            combining_marks::kMarkRanges, end, codePoint,
            [](char32_t c, const combining_marks::Range& r) { return c < r.first; });
        return range != combining_marks::kMarkRanges && codePoint <= (range - 1)->last;
    }

    // The precomposed character of `base` and `mark`, or false when Unicode
    // has none.
    bool Compose(char32_t base, char32_t mark, char32_t& joined) const {
        const auto* end = combining_marks::kCompositions + combining_marks::kCompositionCount;
        const auto* entry = std::lower_bound(
            combining_marks::kCompositions, end, std::pair(mark, base),
            [](const combining_marks::Composition& e, const std::pair<char32_t, char32_t>& key) {
                return std::pair(e.mark, e.base) < key;
            });
        if (entry == end || entry->mark != mark || entry->base != base) {
            return false;
        }
        joined = entry->composed;
        return true;
    }

  private:
    std::array<std::uint64_t, 0x10000 / 64> bmp_;
};

const CombiningMarks& Marks() {
    static const CombiningMarks marks;
    return marks;
}

// ---------------------------------------------------------------------------
// Code points to code page 932

// Writes code points as code page 932 bytes into a buffer that the caller
// sized. A base character and the combining marks that follow it are joined
// pair by pair where Unicode has a precomposed character; nothing else is
// normalised, so compatibility ideographs such as U+FA11 stay what they are.
// A mark that cannot be joined is written on its own and closes the base.
class Cp932Writer {
  public:
    Cp932Writer(char* out, const CombiningMarks& marks) : out_(out), marks_(marks) {}

    char* Position() const { return out_; }

    // `count` ASCII bytes were copied to Position() directly; the last one is
    // the base that a following mark may join.
    void AfterAscii(std::size_t count) {
        out_ += count;
        baseStart_ = out_ - 1;
        base_ = static_cast<unsigned char>(*baseStart_);
    }

    void Put(char32_t codePoint) {
        if (!marks_.IsMark(codePoint)) {
            baseStart_ = out_;
            base_ = codePoint;
            Write(codePoint);
        } else {
            PutMark(codePoint);
        }
    }

  private:
    void PutMark(char32_t codePoint) {
        if (baseStart_ != nullptr) {
            char32_t joined = 0;
            if (marks_.Compose(base_, codePoint, joined)) {
                out_ = baseStart_;
                base_ = joined;
                Write(joined);
                return;
            }
            baseStart_ = nullptr;
        }
        Write(codePoint);
    }

    void Write(char32_t codePoint) {
        const std::uint16_t code = cp932::Encode(codePoint);
        if (code == 0) {
            *out_++ = kDefaultCharacter;
        } else if (code < 0x100) {
            *out_++ = static_cast<char>(code);
        } else {
            out_[0] = static_cast<char>(code >> 8);
            out_[1] = static_cast<char>(code & 0xFF);
            out_ += 2;
        }
    }

    char* out_;
    char* baseStart_ = nullptr;  // where the open base's bytes begin; null: none
    char32_t base_ = 0;
    const CombiningMarks& marks_;
};

// ---------------------------------------------------------------------------
// UTF-8 decoding

// Any sequence: one U+FFFD for each maximal ill-formed subsequence.
std::size_t DecodeAnyCharacter(std::string_view text, std::size_t index, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(index);
    if (first < 0x80) {
        codePoint = first;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        codePoint = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        codePoint = first & 0x0F;
        if (first == 0xE0) {
            low = 0xA0;  // no overlong forms
        } else if (first == 0xED) {
            high = 0x9F;  // no surrogates
        }
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        codePoint = first & 0x07;
        if (first == 0xF0) {
            low = 0x90;
        } else if (first == 0xF4) {
            high = 0x8F;  // nothing above U+10FFFF
        }
    } else {
        codePoint = kReplacementCharacter;
        return 1;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (index + k >= text.size()) {
            codePoint = kReplacementCharacter;
            return k;
        }
        const unsigned char next = byte(index + k);
        if (next < low || next > high) {
            codePoint = kReplacementCharacter;
            return k;
        }
        low = 0x80;
        high = 0xBF;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    return length;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The decoder, with ASCII and the three-byte sequences of Japanese text taken
// first.
inline std::size_t DecodeCharacter(std::string_view text, std::size_t index, char32_t& codePoint) {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = in[index];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    // E0 and ED have narrower second bytes; DecodeAnyCharacter handles them.
    if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && index + 2 < text.size() &&
        IsContinuation(in[index + 1]) && IsContinuation(in[index + 2])) {
        codePoint = static_cast<char32_t>((lead & 0x0F) << 12 | (in[index + 1] & 0x3F) << 6 |
                                          (in[index + 2] & 0x3F));
        return 3;
    }
    return DecodeAnyCharacter(text, index, codePoint);
}

// ---------------------------------------------------------------------------
// UTF-8 to code page 932

bool IsAsciiNotZero(unsigned char byte) {
    return byte - 1u < 0x7Fu;
}

// Copies the leading bytes of `in` (n of them) that are ASCII other than the
// zero byte to `out`, and returns how many they are. Works in blocks, so it
// may write up to a block's worth of further bytes behind them, but never
// beyond out + n.
std::size_t CopyAsciiRun(const unsigned char* in, std::size_t n, char* out) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
        const auto stops = static_cast<unsigned>(_mm_movemask_epi8(block) |
                                                 _mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)));
        if (stops != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(stops));
        }
    }
#else
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t block = 0;
        std::memcpy(&block, in + i, 8);
        const std::uint64_t stops = (block & kHighBits) | ((block - kOnes) & ~block & kHighBits);
        if (stops != 0) {
            break;
        }
        std::memcpy(out + i, &block, 8);
    }
#endif
    for (; i < n && IsAsciiNotZero(in[i]); ++i) {
        out[i] = static_cast<char>(in[i]);
    }
    return i;
}

void AppendUtf8As932(std::string& out, std::string_view text) {
    const std::size_t start = out.size();
    out.resize(start + text.size());
    char* const first = out.data() + start;
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    Cp932Writer writer(first, Marks());
    std::size_t i = 0;
    while (i < n) {
        if (IsAsciiNotZero(in[i])) {
            const std::size_t run = CopyAsciiRun(in + i, n - i, writer.Position());
            writer.AfterAscii(run);
            i += run;
            continue;
        }
        if (in[i] == 0) {
            break;
        }
        char32_t codePoint = 0;
        i += DecodeCharacter(text, i, codePoint);
        writer.Put(codePoint);
    }
    out.resize(start + static_cast<std::size_t>(writer.Position() - first));
}

// ---------------------------------------------------------------------------
// UTF-16

// Calls `visit` with each code point of `wide` up to its first U+0000; a
// lone surrogate is U+FFFD.
template <typename Visit>
void ForEachCodePoint(const std::u16string& wide, Visit visit) {
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit == 0) {
            return;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            visit(
                static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00)));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            visit(kReplacementCharacter);
        } else {
            visit(static_cast<char32_t>(unit));
        }
    }
}

void AppendUtf16Unit(char32_t codePoint, std::u16string& wide) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        wide.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        wide.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        wide.push_back(static_cast<char16_t>(codePoint));
    }
}

void AppendUtf8(char32_t codePoint, std::string& out) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | codePoint >> 6));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | codePoint >> 12));
        out.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | codePoint >> 18));
        out.push_back(static_cast<char>(0x80 | (codePoint >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::u16string DecodeUtf8(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        char32_t codePoint = 0;
        index += DecodeCharacter(text, index, codePoint);
        AppendUtf16Unit(codePoint, wide);
    }
    return wide;
}

// Code page 932 bytes to UTF-16; a byte or pair the code page does not define
// is U+FFFD, a lead byte at the very end too.
std::u16string Decode932(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char16_t unit = 0;
        if (byte == 0) {
            wide.push_back(u'\0');
            continue;
        }
        if (IsLeadByte(byte) && i + 1 < text.size()) {
            unit = cp932::DecodePair(byte, static_cast<unsigned char>(text[++i]));
        } else {
            unit = cp932::kDecodeSingle[byte];
        }
        wide.push_back(unit != 0 ? unit : static_cast<char16_t>(kReplacementCharacter));
    }
    return wide;
}

std::string Encode932(const std::u16string& wide) {
    std::string out(wide.size() * 2, '\0');  // at most two bytes per unit
    Cp932Writer writer(out.data(), Marks());
    ForEachCodePoint(wide, [&writer](char32_t codePoint) { writer.Put(codePoint); });
    out.resize(static_cast<std::size_t>(writer.Position() - out.data()));
    return out;
}

unsigned Resolve(unsigned codePage) {
    return codePage == 0 ? DefaultAnsiCodePage() : codePage;
}

}  // namespace

std::size_t DecodeUtf8At(std::string_view text, std::size_t index, char32_t& codePoint) {
    return DecodeCharacter(text, index, codePoint);
}

unsigned DefaultAnsiCodePage() {
    return kCodePageJapanese;
}

void AppendUTF8ToAnsi(std::string& out, std::string_view text, unsigned codePage) {
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) {
        out.append(text);
    } else if (codePage == kCodePageJapanese) {
        AppendUtf8As932(out, text);
    } else if (!text.empty()) {
        out += UTF16ToAnsi(AnsiToUTF16(std::string(text), kCodePageUtf8), codePage);
    }
}

std::string UTF8ToAnsi(std::string_view text, unsigned codePage) {
    std::string result;
    AppendUTF8ToAnsi(result, text, codePage);
    return result;
}

std::u16string AnsiToUTF16(const std::string& text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) {
        return DecodeUtf8(text);
    }
    if (codePage == kCodePageJapanese) {
        return Decode932(text);
    }
    return other_code_pages::Decode(text, codePage);
}

std::string UTF16ToAnsi(const std::u16string& wide, unsigned codePage) {
    codePage = Resolve(codePage);
    if (wide.empty()) {
        return {};
    }
    if (codePage == kCodePageJapanese) {
        return Encode932(wide);
    }
    if (codePage == kCodePageUtf8) {
        std::string result;
        result.reserve(wide.size() * 3);
        ForEachCodePoint(wide, [&result](char32_t codePoint) { AppendUtf8(codePoint, result); });
        return result;
    }
    std::vector<char32_t> points;
    ForEachCodePoint(wide, [&points](char32_t codePoint) { points.push_back(codePoint); });
    return other_code_pages::Encode(points, codePage);
}

std::string AnsiToUTF8(const std::string& ansi) {
    return UTF16ToAnsi(AnsiToUTF16(ansi, kCodePageJapanese), kCodePageUtf8);
}

}  // namespace teebasket
