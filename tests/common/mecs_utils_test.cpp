#include <gtest/gtest.h>

#include "MECSUtils.h"

using namespace teebasket;

TEST(UTF8ToAnsi, EmptyAndAsciiPassThrough) {
    EXPECT_EQ(UTF8ToAnsi(""), "");
    const std::string ascii = "<h2 class=\"gf-card-name\"> ~\\ 0-9";
    EXPECT_EQ(UTF8ToAnsi(ascii), ascii);
    EXPECT_EQ(DefaultAnsiCodePage(), 932u);
}

TEST(UTF8ToAnsi, JapaneseTextBecomesCodePage932) {
    EXPECT_EQ(UTF8ToAnsi("\xE9\x81\x8B\xE5\x96\xB6\xE4\xB8\xAD"), "\x89\x5E\x89\x63\x92\x86");
    EXPECT_EQ(UTF8ToAnsi("\xEF\xBC\x8D"), "\x81\x7C");  // U+FF0D
    EXPECT_EQ(UTF8ToAnsi("\xEF\xBD\x9E"), "\x81\x60");  // U+FF5E
    EXPECT_EQ(UTF8ToAnsi("\xEF\xBC\x91"), "\x82\x50");  // U+FF11
    EXPECT_EQ(UTF8ToAnsi("\xE3\x80\x9C"), "\x81\x60");  // U+301C wave dash
    EXPECT_EQ(UTF8ToAnsi("\xE2\x88\x92"), "\x81\x7C");  // U+2212 minus
}

TEST(UTF8ToAnsi, KeepsTheVendorIdeographsDistinct) {
    EXPECT_EQ(UTF8ToAnsi("\xEF\xA8\x91"), "\xFA\xB1");  // U+FA11, not 崎
    EXPECT_EQ(UTF8ToAnsi("\xE5\xB4\x8E"), "\x8D\xE8");  // 崎 itself
    EXPECT_EQ(UTF8ToAnsi("\xE9\xAB\x99"), "\xFB\xFC");  // U+9AD9
}

TEST(UTF8ToAnsi, JoinsBaseAndCombiningMark) {
    EXPECT_EQ(UTF8ToAnsi("\xE3\x81\x8B\xE3\x82\x99"), "\x82\xAA");  // か + U+3099 -> が
    EXPECT_EQ(UTF8ToAnsi("\xE3\x83\x8F\xE3\x82\x9A"), "\x83\x70");  // ハ + U+309A -> パ
    // A mark that cannot be joined stays on its own (and 932 lacks it).
    EXPECT_EQ(UTF8ToAnsi("a\xE3\x82\x99"), "a?");
    // A compatibility ideograph before a mark is not rewritten.
    EXPECT_EQ(UTF8ToAnsi("\xEF\xA8\x91\xE3\x82\x99"), "\xFA\xB1?");
}

TEST(UTF8ToAnsi, MissingAndMalformedCharactersBecomeQuestionMarks) {
    EXPECT_EQ(UTF8ToAnsi("\xF0\x9F\x98\x80"), "?");  // an emoji
    EXPECT_EQ(UTF8ToAnsi("ab\xC3"), "ab?");
    EXPECT_EQ(UTF8ToAnsi("\xFF"
                         "a"),
              "?a");
    EXPECT_EQ(UTF8ToAnsi("\xED\xA0\x80"), "???");  // an encoded surrogate
    EXPECT_EQ(UTF8ToAnsi("\xE3\x81"
                         "a"),
              "?a");  // a truncated sequence is one character
    EXPECT_EQ(UTF8ToAnsi("\xEF\xBB\xBF"
                         "a"),
              "?a");  // a byte-order mark is converted, not stripped
}

TEST(UTF8ToAnsi, ZeroByteEndsTheOutput) {
    EXPECT_EQ(UTF8ToAnsi(std::string("ab\0\xE3\x81\x82", 6)), "ab");
    EXPECT_EQ(UTF8ToAnsi(std::string("\xE3\x81\x82\0x", 5)), "\x82\xA0");
}

TEST(UTF8ToAnsi, Utf8TargetReturnsTheInputUnchanged) {
    const std::string malformed("\xC3(\0z", 4);
    EXPECT_EQ(UTF8ToAnsi(malformed, kCodePageUtf8), malformed);
}

TEST(AnsiToUTF16, ConvertsEveryByteIncludingZero) {
    EXPECT_EQ(AnsiToUTF16(std::string("a\0b", 3), kCodePageUtf8), std::u16string(u"a\0b", 3));
    EXPECT_EQ(AnsiToUTF16("\xF0\x9F\x98\x80", kCodePageUtf8), u"\U0001F600");
    EXPECT_EQ(AnsiToUTF16("\x89\x5E\x89\x63\x92\x86", 932), u"運営中");
    EXPECT_EQ(AnsiToUTF16("", 932), u"");
}

TEST(UTF16ToAnsi, RoundTripsThroughCodePage932AndUtf8) {
    const std::u16string names = u"北海道 沖縄県 髙﨑 ～ｱｲｳ";
    const std::string bytes = UTF16ToAnsi(names, 932);
    EXPECT_EQ(AnsiToUTF16(bytes, 932), names);
    EXPECT_EQ(UTF16ToAnsi(names, kCodePageUtf8),
              "\xE5\x8C\x97\xE6\xB5\xB7\xE9\x81\x93 \xE6\xB2\x96\xE7\xB8\x84\xE7\x9C\x8C "
              "\xE9\xAB\x99\xEF\xA8\x91 \xEF\xBD\x9E\xEF\xBD\xB1\xEF\xBD\xB2\xEF\xBD\xB3");
    EXPECT_EQ(UTF16ToAnsi(std::u16string(u"x\0y", 3), 932), "x");
    EXPECT_EQ(UTF16ToAnsi(u"\xD800z", 932), "?z");  // a lone surrogate
}

// Code pages the program never uses itself go through the system's
// converters, without best fit on any platform.
TEST(OtherCodePages, ConvertThroughTheSystemWithoutBestFit) {
    EXPECT_EQ(UTF8ToAnsi("caf\xC3\xA9 \xE2\x82\xAC", 1252), "caf\xE9 \x80");
    EXPECT_EQ(AnsiToUTF16("caf\xE9 \x80", 1252), u"café €");
    EXPECT_EQ(UTF16ToAnsi(u"café €", 1252), "caf\xE9 \x80");
    // Characters the code page lacks are "?", never a look-alike (ā is not a).
    EXPECT_EQ(UTF8ToAnsi("\xC4\x81\xE3\x81\x82.", 1252), "??.");
    EXPECT_EQ(UTF16ToAnsi(u"\U0001F600x", 1252), "?x");
}

TEST(OtherCodePages, AnUnknownCodePageGivesNothing) {
    EXPECT_EQ(UTF8ToAnsi("abc", 1), "");
    EXPECT_EQ(AnsiToUTF16("abc", 1), u"");
}
