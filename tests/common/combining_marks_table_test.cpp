// The committed combining-mark table against the ICU of this machine, which
// it was generated from, and the joining of a base and its mark through it.
// Built where ICU is (Linux); the Windows build has the same table and no ICU.
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "MECSUtils.h"
#include "combining_marks_table.h"

namespace teebasket {
namespace {

using combining_marks::kCompositionCount;
using combining_marks::kCompositions;
using combining_marks::kMarkRangeCount;
using combining_marks::kMarkRanges;

constexpr char32_t kLastCodePoint = 0x10FFFF;

bool IcuIsMark(char32_t c) {
    return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_M_MASK) != 0;
}

const icu::Normalizer2& Nfc() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr) {
        throw std::runtime_error("ICU has no NFC normaliser");
    }
    return *nfc;
}

std::string Utf8(char32_t c) {
    return UTF16ToAnsi(c < 0x10000 ? std::u16string(1, static_cast<char16_t>(c))
                                   : std::u16string{static_cast<char16_t>(0xD7C0 + (c >> 10)),
                                                    static_cast<char16_t>(0xDC00 + (c & 0x3FF))},
                       kCodePageUtf8);
}

using Triple = std::tuple<char32_t, char32_t, char32_t>;

TEST(CombiningMarksTable, NamesEveryMarkThatIcuNames) {
    std::vector<bool> inTable(kLastCodePoint + 1, false);
    for (std::size_t i = 0; i < kMarkRangeCount; ++i) {
        ASSERT_LE(kMarkRanges[i].first, kMarkRanges[i].last);
        if (i > 0) {
            ASSERT_GT(kMarkRanges[i].first, kMarkRanges[i - 1].last + 1) << "ranges " << i;
        }
        for (char32_t c = kMarkRanges[i].first; c <= kMarkRanges[i].last; ++c) {
            inTable[c] = true;
        }
    }
    int mismatches = 0;
    for (char32_t c = 0; c <= kLastCodePoint; ++c) {
        if (inTable[c] != IcuIsMark(c) && ++mismatches <= 10) {
            ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(c) << ": table "
                          << inTable[c] << ", ICU " << IcuIsMark(c);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(CombiningMarksTable, HoldsEveryCompositionOfACharacterAndAMark) {
    const icu::Normalizer2& nfc = Nfc();
    std::set<Triple> expected;
    for (char32_t c = 0; c <= kLastCodePoint; ++c) {
        icu::UnicodeString decomposition;
        if (!nfc.getRawDecomposition(static_cast<UChar32>(c), decomposition) ||
            decomposition.countChar32() != 2) {
            continue;
        }
        const auto base = static_cast<char32_t>(decomposition.char32At(0));
        const auto mark =
            static_cast<char32_t>(decomposition.char32At(decomposition.moveIndex32(0, 1)));
        if (IcuIsMark(mark) &&
            nfc.composePair(static_cast<UChar32>(base), static_cast<UChar32>(mark)) ==
                static_cast<UChar32>(c)) {
            expected.emplace(base, mark, c);
        }
    }
    std::set<Triple> table;
    for (std::size_t i = 0; i < kCompositionCount; ++i) {
        const combining_marks::Composition& entry = kCompositions[i];
        table.emplace(entry.base, entry.mark, entry.composed);
        if (i > 0) {
            const combining_marks::Composition& before = kCompositions[i - 1];
            ASSERT_TRUE(std::pair(before.mark, before.base) < std::pair(entry.mark, entry.base))
                << "entry " << i << " is out of order";
        }
    }
    EXPECT_EQ(table.size(), kCompositionCount);
    EXPECT_EQ(table, expected);
}

// Each composition through the converter: a base and its mark give the bytes
// of the precomposed character, whichever entry of the table it is. (A pair
// whose first character is a mark itself, as in some Indic vowel signs, is
// never joined: only a character that is not a mark opens a base.)
TEST(CombiningMarksTable, JoinsEveryPairItHolds) {
    int joined = 0;
    for (std::size_t i = 0; i < kCompositionCount; ++i) {
        const combining_marks::Composition& entry = kCompositions[i];
        if (IcuIsMark(entry.base)) {
            EXPECT_EQ(UTF8ToAnsi(Utf8(entry.base) + Utf8(entry.mark)), "??");
            continue;
        }
        const std::string composed = UTF8ToAnsi(Utf8(entry.composed));
        ASSERT_EQ(UTF8ToAnsi(Utf8(entry.base) + Utf8(entry.mark)), composed)
            << std::hex << "U+" << static_cast<unsigned>(entry.base) << " U+"
            << static_cast<unsigned>(entry.mark);
        joined += composed != "?" ? 1 : 0;
    }
    // The kana with voiced marks, at least, are in code page 932.
    EXPECT_GE(joined, 40);
}

TEST(CombiningMarksTable, JoinsMarksOutsideTheBmp) {
    // U+11099 and the mark U+110BA compose to U+1109A (Kaithi), which code
    // page 932 lacks: one "?", not one for each.
    EXPECT_EQ(UTF8ToAnsi(Utf8(0x11099) + Utf8(0x110BA)), "?");
    EXPECT_EQ(UTF8ToAnsi(Utf8(0x11099) + Utf8(0x110BA) + Utf8(0x110BA)), "??");
}

}  // namespace
}  // namespace teebasket
