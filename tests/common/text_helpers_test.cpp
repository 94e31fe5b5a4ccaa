#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "Unicommon.h"

using namespace teebasket;
using Pieces = std::vector<std::string>;

namespace {

Pieces Split(const std::string& text, const std::string& delimiter) {
    Pieces pieces;
    SplitText(text, delimiter, pieces);
    return pieces;
}

// Lines as the rule states them, one byte at a time: a line ends at CR, LF
// or CR LF.
Pieces LinesByteByByte(std::string_view bytes) {
    Pieces lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
        } else {
            line.push_back(bytes[i]);
            open = true;
        }
    }
    if (open) {
        lines.push_back(line);
    }
    return lines;
}

Pieces ReadAll(LineCursor cursor) {
    Pieces lines;
    for (std::string_view line; cursor.Next(line);) {
        lines.emplace_back(line);
    }
    return lines;
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

TEST(TextSplitter, GivesSplitTextsPiecesOneAtATimeAsViews) {
    const std::string text = ",a,,b\x83\x5C,";  // ソ ends in 5C, not a comma
    TextSplitter splitter(text, ",");
    std::string_view piece;
    ASSERT_TRUE(splitter.Next(piece));
    EXPECT_EQ(piece, "a");
    EXPECT_EQ(piece.data(), text.data() + 1);
    ASSERT_TRUE(splitter.Next(piece));
    EXPECT_EQ(piece, "b\x83\x5C");
    EXPECT_FALSE(splitter.Next(piece));
    EXPECT_FALSE(splitter.Next(piece));
}

TEST(LineCursor, CutsLinesAsTheRuleSays) {
    std::mt19937 random(1310);
    const std::string alphabet = "ab\r\n\x82";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 70)(random), ' ');
        for (char& c : bytes) {
            c = alphabet[std::uniform_int_distribution<std::size_t>(0,
                                                                    alphabet.size() - 1)(random)];
        }
        ASSERT_EQ(ReadAll(LineCursor(bytes)), LinesByteByByte(bytes))
            << ::testing::PrintToString(bytes);
        ASSERT_EQ(SplitLines(bytes), LinesByteByByte(bytes));
    }
}

TEST(LineCursor, LinesAreViewsAndRemainingCountsTheBytesBehind) {
    const std::string bytes = "first\r\nsecond line\rthird";
    LineCursor cursor(bytes);
    std::string_view line;
    ASSERT_TRUE(cursor.Next(line));
    EXPECT_EQ(line.data(), bytes.data());
    EXPECT_EQ(cursor.Remaining(), bytes.size() - 7);
    ASSERT_TRUE(cursor.Next(line));
    EXPECT_EQ(line, "second line");
    EXPECT_EQ(cursor.Remaining(), 5u);
    ASSERT_TRUE(cursor.Next(line));
    EXPECT_EQ(cursor.Remaining(), 0u);
    EXPECT_FALSE(cursor.Next(line));
}

TEST(LoadPage, HoldsTheFileByteForByte) {
    const test::TempDir dir;
    std::string bytes(200000, 'x');
    bytes[5] = '\0';
    bytes[70000] = '\r';
    bytes.back() = '\n';
    test::WriteFileBytes(dir.path() / "page.html", bytes);
    PageText page;
    ASSERT_TRUE(LoadPage(dir.path() / "page.html", page));
    EXPECT_EQ(page.Bytes(), bytes);
    EXPECT_EQ(ReadAll(page.Lines()), SplitLines(bytes));

    // A missing file gives no page, and no earlier page either.
    EXPECT_FALSE(LoadPage(dir.path() / "missing.html", page));
    EXPECT_TRUE(page.Empty());
    test::WriteFileBytes(dir.path() / "empty.html", "");
    ASSERT_TRUE(LoadPage(dir.path() / "empty.html", page));
    EXPECT_TRUE(page.Empty());
}
