// The compiled-in code page 932 tables against glibc's iconv "CP932", which
// they were generated from, and UTF8ToAnsi against a plain conversion that
// decodes every character, joins marks with ICU and asks iconv for each one.
// iconv's CP932 is glibc's: these checks run on Linux only.
#include <gtest/gtest.h>

#include "MECSUtils.h"
#include "Unicommon.h"
#include "cp932_table.h"

#if defined(__GLIBC__)
#include <iconv.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include <optional>
#include <random>
#include <vector>

using namespace teebasket;

namespace {

class Iconv {
  public:
    Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid()) {
            iconv_close(handle_);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // The whole input converted from a fresh state, or nothing.
    std::optional<std::string> Convert(const std::string& input) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string output(input.size() * 4 + 8, '\0');
        char* in = const_cast<char*>(input.data());
        char* out = output.data();
        std::size_t inLeft = input.size();
        std::size_t outLeft = output.size();
        if (iconv(handle_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
            inLeft != 0) {
            return std::nullopt;
        }
        output.resize(output.size() - outLeft);
        return output;
    }

  private:
    iconv_t handle_;
};

std::string Utf16Le(char32_t unit) {
    return {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8 & 0xFF)};
}

std::string Utf32Le(char32_t point) {
    return {static_cast<char>(point & 0xFF), static_cast<char>(point >> 8 & 0xFF),
            static_cast<char>(point >> 16 & 0xFF), '\0'};
}

std::uint16_t CodeOf(const std::string& bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return bytes.size() == 1   ? byte(0)
           : bytes.size() == 2 ? static_cast<std::uint16_t>(byte(0) << 8 | byte(1))
                               : 0;
}

char16_t UnitOf(const std::optional<std::string>& units) {
    if (!units || units->size() != 2) {
        return 0;
    }
    return static_cast<char16_t>(static_cast<unsigned char>((*units)[0]) |
                                 static_cast<unsigned char>((*units)[1]) << 8);
}

bool IsMark(char32_t c) {
    return c >= 0x300 && (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0;
}

// UTF-8 to code page 932 the plain way: every character decoded, a base and
// the marks after it joined pair by pair, each result converted by iconv on
// its own ("?" where iconv has nothing).
std::string PlainUtf8To932(std::string_view text) {
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        char32_t point = 0;
        i += DecodeUtf8At(text, i, point);
        if (point == 0) {
            break;
        }
        points.push_back(point);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    std::vector<char32_t> joined;
    bool baseOpen = false;
    for (const char32_t point : points) {
        if (baseOpen && IsMark(point)) {
            const UChar32 pair =
                nfc->composePair(static_cast<UChar32>(joined.back()), static_cast<UChar32>(point));
            if (pair >= 0) {
                joined.back() = static_cast<char32_t>(pair);
                continue;
            }
            baseOpen = false;
        } else {
            baseOpen = !IsMark(point);
        }
        joined.push_back(point);
    }
    Iconv encoder("CP932", "UTF-32LE");
    std::string result;
    for (const char32_t point : joined) {
        result += encoder.Convert(Utf32Le(point)).value_or("?");
    }
    return result;
}

// Random UTF-8 made of what pages hold and what breaks converters: ASCII runs
// of every length around the converter's block size, Japanese, bases with
// combining marks, characters that code page 932 lacks, malformed bytes and
// the odd zero byte.
std::string RandomUtf8(std::mt19937& random) {
    static const std::vector<std::string> kPieces = {"か",
                                                     "\xE3\x82\x99",
                                                     "\xE3\x82\x9A",
                                                     "ハ",
                                                     "e",
                                                     "\xCC\x81",
                                                     "\xCC\x88",
                                                     "\xEF\xA8\x91",
                                                     "\xE3\x80\x9C",
                                                     "\xE2\x88\x92",
                                                     "\xC2\xA5",
                                                     "\xEF\xBB\xBF",
                                                     "\xF0\x9F\x98\x80",
                                                     "\xF0\xA0\xAE\x9F",
                                                     "\xE9\xAB\x99",
                                                     "\xC3",
                                                     "\xE3\x81",
                                                     "\xED\xA0\x80",
                                                     "\xC0\x80",
                                                     "\xF4\x90\x80\x80",
                                                     "\xFF",
                                                     "\x80",
                                                     "ｱ",
                                                     "①",
                                                     "運営中",
                                                     std::string(1, '\0')};
    std::string text;
    const int parts = std::uniform_int_distribution<int>(0, 12)(random);
    for (int p = 0; p < parts; ++p) {
        switch (std::uniform_int_distribution<int>(0, 3)(random)) {
            case 0: {
                const int length = std::uniform_int_distribution<int>(0, 40)(random);
                for (int k = 0; k < length; ++k) {
                    text.push_back(
                        static_cast<char>(std::uniform_int_distribution<int>(1, 127)(random)));
                }
                break;
            }
            case 1: {
                char32_t point = static_cast<char32_t>(
                    std::uniform_int_distribution<int>(0x3000, 0x9FFF)(random));
                std::string utf8;
                utf8 += static_cast<char>(0xE0 | point >> 12);
                utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
                utf8 += static_cast<char>(0x80 | (point & 0x3F));
                text += utf8;
                break;
            }
            case 2:
                text.push_back(
                    static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xFF)(random)));
                break;
            default: {
                const std::string& piece = kPieces[std::uniform_int_distribution<std::size_t>(
                    0, kPieces.size() - 1)(random)];
                if (piece[0] != '\0' || std::uniform_int_distribution<int>(0, 20)(random) == 0) {
                    text += piece;
                }
                break;
            }
        }
    }
    return text;
}

}  // namespace

TEST(Cp932Table, EncodesEveryUtf16UnitAsGlibcDoes) {
    Iconv encoder("CP932", "UTF-16LE");
    ASSERT_TRUE(encoder.valid());
    int mismatches = 0;
    for (char32_t unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            continue;
        }
        const std::optional<std::string> bytes = encoder.Convert(Utf16Le(unit));
        const std::uint16_t expected = bytes ? CodeOf(*bytes) : 0;
        if (cp932::Encode(unit) != expected && ++mismatches <= 10) {
            ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(unit) << ": table "
                          << cp932::Encode(unit) << ", glibc " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(cp932::Encode(0x1F600), 0u);  // nothing beyond the BMP
}

TEST(Cp932Table, DecodesEveryByteAndPairAsGlibcDoes) {
    Iconv decoder("UTF-16LE", "CP932");
    ASSERT_TRUE(decoder.valid());
    int mismatches = 0;
    for (unsigned byte = 1; byte < 0x100; ++byte) {
        if (IsLeadByte(static_cast<unsigned char>(byte))) {
            EXPECT_EQ(cp932::kDecodeSingle[byte], 0u) << byte;
            continue;
        }
        const char16_t expected = UnitOf(decoder.Convert(std::string(1, static_cast<char>(byte))));
        EXPECT_EQ(cp932::kDecodeSingle[byte], expected) << std::hex << byte;
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        for (unsigned trail = 0; trail < 0x100; ++trail) {
            const char16_t expected =
                trail >= cp932::kTrailFirst && trail <= cp932::kTrailLast
                    ? UnitOf(decoder.Convert({static_cast<char>(lead), static_cast<char>(trail)}))
                    : char16_t{0};
            const char16_t actual = cp932::DecodePair(static_cast<unsigned char>(lead),
                                                      static_cast<unsigned char>(trail));
            if (actual != expected && ++mismatches <= 10) {
                ADD_FAILURE() << std::hex << lead << " " << trail << ": table "
                              << static_cast<unsigned>(actual) << ", glibc "
                              << static_cast<unsigned>(expected);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Cp932Table, KeepsTheCloseSubstitutesOfGlibc) {
    EXPECT_EQ(UTF8ToAnsi("\xE3\x80\x9C"), "\x81\x60");  // U+301C wave dash
    EXPECT_EQ(UTF8ToAnsi("\xE2\x88\x92"), "\x81\x7C");  // U+2212 minus sign
    EXPECT_EQ(UTF8ToAnsi("\xC2\xA5"), "\x5C");          // U+00A5 yen sign
    EXPECT_EQ(UTF16ToAnsi(u"\u301C\u2212\u00A5", 932), "\x81\x60\x81\x7C\x5C");
}

TEST(UTF8ToAnsi, GivesWhatAPlainCharacterByCharacterConversionGives) {
    std::mt19937 random(932);
    for (int round = 0; round < 20000; ++round) {
        const std::string text = RandomUtf8(random);
        ASSERT_EQ(UTF8ToAnsi(text), PlainUtf8To932(text)) << ::testing::PrintToString(text);
        std::string appended = "prefix";
        AppendUTF8ToAnsi(appended, text);
        ASSERT_EQ(appended, "prefix" + PlainUtf8To932(text));
    }
}

TEST(UTF16ToAnsi, GivesWhatUTF8ToAnsiGivesForTheSameText) {
    std::mt19937 random(1252);
    for (int round = 0; round < 5000; ++round) {
        const std::string text = RandomUtf8(random);
        const std::u16string wide = AnsiToUTF16(text, kCodePageUtf8);
        ASSERT_EQ(UTF16ToAnsi(wide, 932), UTF8ToAnsi(text)) << ::testing::PrintToString(text);
    }
}

#else

TEST(Cp932Table, NeedsGlibcIconv) {
    GTEST_SKIP() << "the tables are checked against glibc's iconv, which this system lacks";
}

#endif
