// The Japanese reasons of system errors that the window shows, and the
// escaping of text taken from pages.
#include <gtest/gtest.h>

#include <cerrno>

#include "SystemText.h"

using namespace teebasket;

namespace {

std::string Japanese(int error) {
    return JapaneseErrorText(std::error_code(error, std::generic_category()));
}

}  // namespace

TEST(JapaneseErrorText, NamesTheCommonErrorsInJapanese) {
    EXPECT_EQ(Japanese(ENOENT), "見つかりません");
    EXPECT_EQ(Japanese(EACCES), "アクセスが拒否されました");
    EXPECT_EQ(Japanese(EPERM), "アクセスが拒否されました");
    EXPECT_EQ(Japanese(ENOSPC), "空き容量がありません");
    EXPECT_EQ(Japanese(EROFS), "読み取り専用です");
    EXPECT_EQ(Japanese(EISDIR), "フォルダーです");
    EXPECT_EQ(Japanese(EEXIST), "同じ名前のものがすでにあります");
    EXPECT_EQ(Japanese(EFBIG), "ファイルが大きすぎます");
    EXPECT_EQ(Japanese(ENOTEMPTY), "フォルダーが空ではありません");
    EXPECT_EQ(Japanese(EXDEV), "別のドライブへは移動できません");
#ifdef EDQUOT
    EXPECT_EQ(Japanese(EDQUOT), "ディスクの使用量の上限に達しました");
#endif
}

TEST(JapaneseErrorText, TheSystemsOwnCategoryGivesTheSameText) {
#ifndef _WIN32
    EXPECT_EQ(JapaneseErrorText(std::error_code(ENOSPC, std::system_category())),
              "空き容量がありません");
#endif
}

TEST(JapaneseErrorText, OtherErrorsKeepTheSystemsText) {
    const std::error_code rare(EPROTO, std::generic_category());
    EXPECT_EQ(JapaneseErrorText(rare), rare.message());
    EXPECT_FALSE(JapaneseErrorText(rare).empty());
}

TEST(PrintableText, EscapesControlCharactersAndKeepsTheRest) {
    EXPECT_EQ(PrintableText("青葉\x1b[2J\tA\x7f"), "青葉\\x1B[2J\\x09A\\x7F");
    EXPECT_EQ(PrintableText("\xc2\x9b"
                            "31m"),
              "\\x9B31m");  // C1 CSI
    EXPECT_EQ(PrintableText("é ü"), "é ü");
}
