// UTF-8, UTF-16 and code page 932.
//
// Code page 932 goes through two tables built once per process from glibc's
// iconv "CP932" converter (which has the Windows mappings and its close
// substitutes, such as U+301C -> 81 60): one from every BMP code point to its
// bytes, one from every byte pair back to UTF-16. The tables are immutable
// once built, so conversions are lock-free table look-ups on any thread.
#include <iconv.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include "MECSUtils.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

constexpr char16_t kReplacementCharacter = u'\uFFFD';
constexpr char kDefaultCharacter = '?';

class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `input` whole; false when iconv refuses any of it.
    bool Convert(const char* input, std::size_t inputSize, std::string& output) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        output.resize(inputSize * 4 + 8);
        char* in = const_cast<char*>(input);
        char* out = output.data();
        std::size_t inLeft = inputSize;
        std::size_t outLeft = output.size();
        if (iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            return false;
        }
        output.resize(output.size() - outLeft);
        return inLeft == 0;
    }

  private:
    iconv_t handle_;
};

// Code point -> code page 932 bytes: 0 for a character the code page lacks,
// otherwise the byte (below 0x100) or lead << 8 | trail.
class Cp932Encoder {
  public:
    Cp932Encoder() : table_(0x10000, 0) {
        IconvHandle converter("CP932", "UTF-16LE");
        if (!converter.valid()) {
            return;
        }
        std::string bytes;
        for (std::uint32_t codePoint = 1; codePoint < 0x10000; ++codePoint) {
            if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
                continue;
            }
            const char unit[2] = {static_cast<char>(codePoint & 0xFF),
                                  static_cast<char>(codePoint >> 8)};
            if (!converter.Convert(unit, 2, bytes)) {
                continue;
            }
            if (bytes.size() == 1) {
                table_[codePoint] = static_cast<unsigned char>(bytes[0]);
            } else if (bytes.size() == 2) {
                table_[codePoint] =
                    static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 |
                                               static_cast<unsigned char>(bytes[1]));
            }
        }
    }

    void Append(char32_t codePoint, std::string& out) const {
        const std::uint16_t code = codePoint < 0x10000 ? table_[codePoint] : 0;
        if (code == 0) {
            out.push_back(kDefaultCharacter);
        } else if (code < 0x100) {
            out.push_back(static_cast<char>(code));
        } else {
            out.push_back(static_cast<char>(code >> 8));
            out.push_back(static_cast<char>(code & 0xFF));
        }
    }

  private:
    std::vector<std::uint16_t> table_;
};

// Code page 932 bytes -> UTF-16: single bytes and byte pairs (lead << 8 |
// trail); 0 where the code page defines nothing.
class Cp932Decoder {
  public:
    Cp932Decoder() : single_{}, pairs_(0x10000, 0) {
        IconvHandle converter("UTF-16LE", "CP932");
        if (!converter.valid()) {
            return;
        }
        std::string units;
        for (unsigned byte = 1; byte < 0x100; ++byte) {
            const char in[1] = {static_cast<char>(byte)};
            if (!IsLeadByte(static_cast<unsigned char>(byte)) && converter.Convert(in, 1, units) &&
                units.size() == 2) {
                single_[byte] = UnitAt(units, 0);
            }
        }
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLeadByte(static_cast<unsigned char>(lead))) {
                continue;
            }
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (converter.Convert(in, 2, units) && units.size() == 2) {
                    pairs_[lead << 8 | trail] = UnitAt(units, 0);
                }
            }
        }
    }

    std::u16string Decode(const std::string& text) const {
        std::u16string wide;
        wide.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte == 0) {
                wide.push_back(u'\0');
            } else if (IsLeadByte(byte) && i + 1 < text.size()) {
                const auto trail = static_cast<unsigned char>(text[++i]);
                const char16_t unit = pairs_[byte << 8 | trail];
                wide.push_back(unit != 0 ? unit : kReplacementCharacter);
            } else {
                const char16_t unit = single_[byte];
                wide.push_back(unit != 0 ? unit : kReplacementCharacter);
            }
        }
        return wide;
    }

  private:
    static char16_t UnitAt(const std::string& units, std::size_t index) {
        return static_cast<char16_t>(static_cast<unsigned char>(units[index]) |
                                     static_cast<unsigned char>(units[index + 1]) << 8);
    }

    std::array<char16_t, 0x100> single_;
    std::vector<char16_t> pairs_;
};

const Cp932Encoder& Encoder932() {
    static const Cp932Encoder encoder;
    return encoder;
}

const Cp932Decoder& Decoder932() {
    static const Cp932Decoder decoder;
    return decoder;
}

// ---------------------------------------------------------------------------
// UTF-8 decoding: one U+FFFD for each maximal ill-formed subsequence.

std::size_t DecodeUtf8At(const std::string& text, std::size_t index, char32_t& codePoint) {
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
            low = 0xA0;
        } else if (first == 0xED) {
            high = 0x9F;  // no surrogates
        }
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        codePoint = first & 0x07;
        if (first == 0xF0) {
            low = 0x90;
        } else if (first == 0xF4) {
            high = 0x8F;
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

std::u16string DecodeUtf8(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        char32_t codePoint = 0;
        index += DecodeUtf8At(text, index, codePoint);
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            wide.push_back(static_cast<char16_t>(codePoint));
        }
    }
    return wide;
}

// ---------------------------------------------------------------------------
// UTF-16 walking

// The code points of `wide` up to its first U+0000; a lone surrogate is U+FFFD.
std::vector<char32_t> CodePointsOf(const std::u16string& wide) {
    std::vector<char32_t> points;
    points.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            points.push_back(kReplacementCharacter);
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

bool IsCombiningMark(char32_t codePoint) {
    return codePoint >= 0x300 &&
           (U_GET_GC_MASK(static_cast<UChar32>(codePoint)) & U_GC_M_MASK) != 0;
}

// Joins each base character with the combining marks that follow it where
// Unicode has a precomposed character, pair by pair. Nothing else changes:
// unlike a full normalisation, compatibility ideographs such as U+FA11 stay.
void ComposeMarks(std::vector<char32_t>& points) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr) {
        return;
    }
    std::size_t out = 0;
    bool baseOpen = false;  // points[out - 1] may still take marks
    for (const char32_t point : points) {
        if (baseOpen && IsCombiningMark(point)) {
            const UChar32 joined = nfc->composePair(static_cast<UChar32>(points[out - 1]),
                                                    static_cast<UChar32>(point));
            if (joined >= 0) {
                points[out - 1] = static_cast<char32_t>(joined);
                continue;
            }
            baseOpen = false;
        } else {
            baseOpen = !IsCombiningMark(point);
        }
        points[out++] = point;
    }
    points.resize(out);
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

// Any other code page, through iconv for this call only; "" when iconv does
// not know it.
std::string IconvName(unsigned codePage) {
    return "CP" + std::to_string(codePage);
}

std::u16string DecodeWithIconv(const std::string& text, unsigned codePage) {
    IconvHandle converter("UTF-16LE", IconvName(codePage).c_str());
    std::string units;
    if (!converter.valid() || !converter.Convert(text.data(), text.size(), units)) {
        return {};
    }
    std::u16string wide(units.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(units[2 * i]) |
                                        static_cast<unsigned char>(units[2 * i + 1]) << 8);
    }
    return wide;
}

std::string EncodeWithIconv(const std::vector<char32_t>& points, unsigned codePage) {
    IconvHandle converter(IconvName(codePage).c_str(), "UTF-32LE");
    if (!converter.valid()) {
        return {};
    }
    std::string result;
    std::string bytes;
    for (const char32_t point : points) {
        const char unit[4] = {static_cast<char>(point & 0xFF), static_cast<char>(point >> 8 & 0xFF),
                              static_cast<char>(point >> 16 & 0xFF), 0};
        if (converter.Convert(unit, 4, bytes)) {
            result += bytes;
        } else {
            result.push_back(kDefaultCharacter);
        }
    }
    return result;
}

bool IsPlainAscii(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0 || byte >= 0x80) {
            return false;
        }
    }
    return true;
}

unsigned Resolve(unsigned codePage) {
    return codePage == 0 ? DefaultAnsiCodePage() : codePage;
}

}  // namespace

unsigned DefaultAnsiCodePage() {
    return kCodePageJapanese;
}

std::string UTF8ToAnsi(const std::string& text, unsigned codePage) {
    codePage = Resolve(codePage);
    if (codePage == kCodePageUtf8) {
        return text;
    }
    // ASCII is the same in code page 932: most page lines need no table.
    if (codePage == kCodePageJapanese && IsPlainAscii(text)) {
        return text;
    }
    return UTF16ToAnsi(AnsiToUTF16(text, kCodePageUtf8), codePage);
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
        return Decoder932().Decode(text);
    }
    return DecodeWithIconv(text, codePage);
}

std::string UTF16ToAnsi(const std::u16string& wide, unsigned codePage) {
    codePage = Resolve(codePage);
    if (wide.empty()) {
        return {};
    }
    std::vector<char32_t> points = CodePointsOf(wide);
    std::string result;
    result.reserve(points.size() * 2);
    if (codePage == kCodePageUtf8) {
        for (const char32_t point : points) {
            AppendUtf8(point, result);
        }
        return result;
    }
    if (codePage != kCodePageJapanese) {
        return EncodeWithIconv(points, codePage);
    }
    ComposeMarks(points);
    const Cp932Encoder& encoder = Encoder932();
    for (const char32_t point : points) {
        encoder.Append(point, result);
    }
    return result;
}

}  // namespace teebasket
