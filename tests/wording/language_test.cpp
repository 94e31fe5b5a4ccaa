// The language of the messages from the locale variables.
#include "Language.h"

#include <gtest/gtest.h>

#include "ScopedEnv.h"

namespace teebasket {
namespace {

using testing::ScopedEnv;

TEST(LanguageFromEnvironment, TheFirstSetVariableDecides) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        Language expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, Language::English},
        {nullptr, nullptr, "ja_JP.UTF-8", Language::Japanese},
        {nullptr, nullptr, "ja", Language::Japanese},
        {nullptr, nullptr, "ja_JP.eucJP", Language::Japanese},
        {nullptr, nullptr, "en_US.UTF-8", Language::English},
        {nullptr, nullptr, "C", Language::English},
        {nullptr, nullptr, "C.UTF-8", Language::English},
        {nullptr, nullptr, "JA_JP", Language::English},  // locale names are case-sensitive
        {"C", nullptr, "ja_JP.UTF-8", Language::English},
        {"ja_JP.UTF-8", nullptr, "C", Language::Japanese},
        {nullptr, "ja_JP.UTF-8", "en_GB.UTF-8", Language::Japanese},
        {nullptr, "POSIX", "ja_JP.UTF-8", Language::English},
        {"en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::English},
        // A variable that is set but empty counts as unset.
        {"", "", "ja_JP.UTF-8", Language::Japanese},
        {"", "en_US.UTF-8", "ja_JP.UTF-8", Language::English},
        {"", "", "", Language::English},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LanguageFromEnvironment(c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
}

TEST(ProcessLanguage, ReadsThisProcesssVariables) {
    ScopedEnv lcAll("LC_ALL", nullptr);
    ScopedEnv lcMessages("LC_MESSAGES", nullptr);
    {
        ScopedEnv lang("LANG", "ja_JP.UTF-8");
        EXPECT_EQ(ProcessLanguage(), Language::Japanese);
        ScopedEnv messages("LC_MESSAGES", "C");
        EXPECT_EQ(ProcessLanguage(), Language::English);
    }
    ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(ProcessLanguage(), Language::English);
}

TEST(Pick, TheTextOfTheLanguage) {
    EXPECT_STREQ(Pick(Language::Japanese, "終了", "Done"), "終了");
    EXPECT_STREQ(Pick(Language::English, "終了", "Done"), "Done");
    const std::string count = "3";
    EXPECT_EQ(Pick(Language::Japanese, count + " 件", count + " courses"), "3 件");
    constexpr Bilingual kStop{"中断", "Stopped"};
    EXPECT_EQ(kStop.In(Language::English), "Stopped");
    EXPECT_EQ(kStop.In(Language::Japanese), "中断");
}

}  // namespace
}  // namespace teebasket
