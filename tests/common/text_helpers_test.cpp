#include <gtest/gtest.h>

#include "Unicommon.h"

using namespace teebasket;
using Pieces = std::vector<std::string>;

namespace {

Pieces Split(const std::string& text, const std::string& delimiter) {
    Pieces pieces;
    SplitText(text, delimiter, pieces);
    return pieces;
}

}  // namespace

TEST(SplitText, DropsEmptyPieces) {
    EXPECT_EQ(Split("a,b,,c,", ","), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(Split(",x", ","), (Pieces{"x"}));
    EXPECT_EQ(Split("x", ","), (Pieces{"x"}));
    EXPECT_EQ(Split("", ","), Pieces{});
    EXPECT_EQ(Split(",,,", ","), Pieces{});
    EXPECT_EQ(Split(" , ", ","), (Pieces{" ", " "}));  // pieces are not trimmed
}

TEST(SplitText, TakesMultiByteAndEmptyDelimiters) {
    EXPECT_EQ(Split("a<>b", "<>"), (Pieces{"a", "b"}));
    EXPECT_EQ(Split("a,b", ""), (Pieces{"a,b"}));
}

TEST(SplitText, AppendsBehindExistingEntries) {
    Pieces pieces{"kept"};
    SplitText("a>b", ">", pieces);
    EXPECT_EQ(pieces, (Pieces{"kept", "a", "b"}));
}

TEST(SplitText, IgnoresDelimiterBytesInsideDoubleByteCharacters) {
    // "ソ" is 83 5C; splitting at a backslash must not cut it.
    EXPECT_EQ(Split("\x83\x5C\\x", "\\"), (Pieces{"\x83\x5C", "x"}));
}

TEST(NormalizeText, TurnsFullWidthDigitsParenthesesAndHyphensIntoAscii) {
    // （０１２）３４５－６７８９
    const std::string phone =
        "\x81\x69\x82\x4F\x82\x50\x82\x51\x81\x6A\x82\x52\x82\x53\x82\x54\x81\x7C\x82\x55"
        "\x82\x56\x82\x57\x82\x58";
    EXPECT_EQ(NormalizeText(phone), "(012)345-6789");
    EXPECT_EQ(NormalizeText("\x82\x50\x81\x5D\x82\x51"), "1-2");  // １‐２
}

TEST(NormalizeText, LeavesEverythingElseAlone) {
    const std::string unchanged =
        "\x82\x60\x82\x61\x82\x62"          // ＡＢＣ
        "\x81\x5B\x81\x5C\x81\x60\x81\x40"  // ー ― ～ and a full-width space
        "abc 123";
    EXPECT_EQ(NormalizeText(unchanged), unchanged);
    // モ followed by P: the 82 50 inside is not a full-width one.
    EXPECT_EQ(NormalizeText("\x83\x82\x50"), "\x83\x82\x50");
}

TEST(SplitLines, BreaksAtCrLfAndCrLf) {
    EXPECT_EQ(SplitLines("a\rb\nc\r\nd"), (Pieces{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\nb\r\n"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\n\r"), (Pieces{"a", ""}));
    EXPECT_EQ(SplitLines(""), Pieces{});
    EXPECT_EQ(SplitLines(std::string("x\0y\n", 4)), (Pieces{std::string("x\0y", 3)}));
}

TEST(NormalizeText, GivesTheSameTextAsApplyingEachPairInTurn) {
    std::string mixed;
    for (const HalfWidthPair& pair : HalfWidthTable) {
        mixed += std::string(pair.fullWidth) + "\x83\x82" + "a" + std::string(pair.fullWidth);
    }
    mixed += "\x82";  // a lead byte cut off at the end
    std::string stepByStep = mixed;
    for (const HalfWidthPair& pair : HalfWidthTable) {
        stepByStep = TextReplace(stepByStep, pair.fullWidth, pair.ascii);
    }
    EXPECT_EQ(NormalizeText(mixed), stepByStep);
}
