// Language: which of the two languages of the program's messages a user
// reads, taken from the locale variables as the C library orders them, and
// the way a text is picked for it. Used by teebasket-cli (help, progress,
// closing lines), by the window's --help and by the wording of a run's
// failures (RunWording.h).
#pragma once

#include <string_view>
#include <utility>

namespace teebasket {

enum class Language { Japanese, English };

// The language of the messages for these locale variables (each may be
// nullptr, as std::getenv gives an unset one): the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty decides; Japanese when it
// starts with "ja" (ja_JP.UTF-8, ja, japanese), whether or not that locale
// is installed. English otherwise, and when none is set.
Language LanguageFromEnvironment(const char* lcAll, const char* lcMessages, const char* lang);

// LanguageFromEnvironment for this process's environment.
Language ProcessLanguage();

// The text for `language` of a pair written side by side, by value, so that
// neither a literal nor a composed text can dangle: Pick(language, "終了",
// "Done"), Pick(language, "全 " + n + " 件", n + " in all").
template <typename Text>
constexpr Text Pick(Language language, Text japanese, Text english) {
    return language == Language::Japanese ? std::move(japanese) : std::move(english);
}

// A text in both languages, for tables of messages.
struct Bilingual {
    std::string_view japanese;
    std::string_view english;

    constexpr std::string_view In(Language language) const {
        return Pick(language, japanese, english);
    }
};

}  // namespace teebasket
