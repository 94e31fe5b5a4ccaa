#include <gtest/gtest.h>

#include <random>

#include "Unicommon.h"

using namespace teebasket;

namespace {

// "モ" in code page 932 is 83 82; its second byte equals the lead byte of "１" (82 50).
const std::string kKatakanaMoThenP = "\x83\x82\x50";
const std::string kFullWidthOne = "\x82\x50";

// Find as the rule states it: character boundaries found by walking the text
// from its first byte, a match counting only where one starts.
std::size_t FindByWalking(std::string_view text, std::string_view pattern) {
    if (pattern.empty() || text.empty()) {
        return 0;
    }
    for (std::size_t at = 0; at < text.size();) {
        if (text.substr(at, pattern.size()) == pattern) {
            return at + 1;
        }
        at += IsLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
    }
    return 0;
}

// Bytes that make boundaries hard: lead bytes that are also trail bytes,
// trail-only bytes, ASCII that can be a trail byte, and plain ASCII.
std::string RandomBytes(std::mt19937& random, std::size_t maxLength) {
    static const std::string kAlphabet =
        "\x81\x82\x9F\xE0\xFC\x40\x50\x5C\xA0\xFD"
        "aP\\>";
    std::string text(std::uniform_int_distribution<std::size_t>(0, maxLength)(random), ' ');
    for (char& c : text) {
        c = kAlphabet[std::uniform_int_distribution<std::size_t>(0, kAlphabet.size() - 1)(random)];
    }
    return text;
}

}  // namespace

TEST(TextFind, ReturnsOneBasedPositionOrZero) {
    EXPECT_EQ(TextFind("abcabc", "c"), 3u);
    EXPECT_EQ(TextFind("abcabc", "ca"), 3u);
    EXPECT_EQ(TextFind("abc", "x"), 0u);
    EXPECT_EQ(TextFind("", "a"), 0u);
    EXPECT_EQ(TextFind("abc", ""), 0u);
    EXPECT_EQ(TextFind("ab", "abc"), 0u);
}

TEST(TextFind, NeverMatchesOnTheSecondByteOfADoubleByteCharacter) {
    EXPECT_EQ(TextFind(kKatakanaMoThenP, kFullWidthOne), 0u);
    // A later match at a real boundary is still found.
    EXPECT_EQ(TextFind(kKatakanaMoThenP + kFullWidthOne, kFullWidthOne), 4u);
    // "ソ" (83 5C): its second byte looks like a backslash.
    EXPECT_EQ(TextFind("\x83\x5C", "\\"), 0u);
    EXPECT_EQ(TextFind("\x83\x5C\\", "\\"), 3u);
}

TEST(TextFind, WalksRawUtf8AsCodePage932) {
    // あ (E3 81 82) then g: E3 81 is one character, 82 67 another.
    EXPECT_EQ(TextFind("\xE3\x81\x82g", "g"), 0u);
    // い (E3 81 84) then g: E3 81 / 84 67 as well.
    EXPECT_EQ(TextFind("\xE3\x81\x84g", "g"), 0u);
    // After a two-byte UTF-8 character the boundaries line up again.
    EXPECT_EQ(TextFind("\xC3\xA9g", "g"), 3u);
}

TEST(TextFind, LeadByteAtTheEndIsACharacterOfItsOwn) {
    EXPECT_EQ(TextFind("ab\x82", "\x82"), 3u);
}

TEST(TextFind, FindsWhatWalkingFromTheFirstByteFinds) {
    std::mt19937 random(0x8150);
    for (int round = 0; round < 50000; ++round) {
        const std::string text = RandomBytes(random, 40);
        const std::string pattern = RandomBytes(random, 3);
        ASSERT_EQ(TextFind(text, pattern), FindByWalking(text, pattern))
            << ::testing::PrintToString(text) << " " << ::testing::PrintToString(pattern);
    }
}

TEST(TextFind, LongRunsOfLeadBytesDecideByTheirLength) {
    const std::string run(100001, '\x81');
    EXPECT_EQ(TextFind(run + "a", "a"), 0u);  // an odd run: "a" is a second byte
    EXPECT_EQ(TextFind(run + "\x81" + "a", "a"), 100003u);
    EXPECT_EQ(TextFind(run + "\x81", "\x81\x81"), 1u);
    // The first 81 40 is the run's last byte and the 40 behind it.
    EXPECT_EQ(TextFind(std::string(200000, '\x81') + "\x40\x81\x40", "\x81\x40"), 200002u);
    // 82 81 82 81 ...: every 81 82 begins on a second byte.
    std::string pairs;
    for (int i = 0; i < 100000; ++i) {
        pairs += "\x82\x81";
    }
    EXPECT_EQ(TextFind(pairs, "\x81\x82"), 0u);
    EXPECT_EQ(TextFind(pairs + "a\x81\x82", "\x81\x82"), 200002u);
}

TEST(TextCopy, ClampsPositionAndCount) {
    EXPECT_EQ(TextCopy("abc", 2, 10), "bc");
    EXPECT_EQ(TextCopy("abc", 4, 1), "");
    EXPECT_EQ(TextCopy("abc", 0, 2), "ab");
    EXPECT_EQ(TextCopy("abc", -5, 1), "a");
    EXPECT_EQ(TextCopy("abc", 1, 0), "");
    EXPECT_EQ(TextCopy("abc", 1, -1), "");
}

TEST(TextTrim, RemovesControlBytesAndBlanksOnly) {
    EXPECT_EQ(TextTrim("\t abc \r"), "abc");
    EXPECT_EQ(TextTrim(std::string("\0\x01x\x1f ", 5)), "x");
    EXPECT_EQ(TextTrim(" \t\r\n"), "");
    // A full-width space (81 40) stays.
    EXPECT_EQ(TextTrim(" \x81\x40"
                       "a\x81\x40 "),
              "\x81\x40"
              "a\x81\x40");
}

TEST(TextReplace, ReplacesEveryOccurrenceIgnoringAsciiCase) {
    EXPECT_EQ(TextReplace("c_ID=1", "id", ""), "c_=1");
    EXPECT_EQ(TextReplace("Id/iD/id", "id", "x"), "x/x/x");
    EXPECT_EQ(TextReplace("</SPAN12</span", "</span", ""), "12");
    EXPECT_EQ(TextReplace("aaa", "a", "aa"), "aaaaaa");  // the replacement is not searched again
    EXPECT_EQ(TextReplace("abc", "", "x"), "abc");
    EXPECT_EQ(TextReplace("", "a", "x"), "");
}

TEST(TextReplace, KeepsCharacterBoundaries) {
    EXPECT_EQ(TextReplace(kKatakanaMoThenP, kFullWidthOne, "1"), kKatakanaMoThenP);
    // The second byte of "ア" (83 41) is "A" but is neither upper-cased nor matched.
    EXPECT_EQ(TextReplace("\x83\x41"
                          "a",
                          "a", "b"),
              "\x83\x41"
              "b");
    EXPECT_EQ(TextReplace("\x83\x61"
                          "A",
                          "a", "b"),
              "\x83\x61"
              "b");
}

TEST(HasPrefix, ComparesTheFirstBytesExactly) {
    EXPECT_TRUE(HasPrefix("<h2 class", "<h2"));
    EXPECT_FALSE(HasPrefix("<H2 class", "<h2"));
    EXPECT_FALSE(HasPrefix("<h", "<h2"));
    EXPECT_TRUE(HasPrefix("anything", ""));
}
