// SystemText: small pieces that several parts put into their messages and
// their waits: a path in quotes, the system's text of an error number, and a
// lock taken with a deadline.
#pragma once

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

namespace teebasket {

// `path` as UTF-8 between double quotes, for a message.
std::string QuotedPath(const std::filesystem::path& path);

// The C library's text (UTF-8) for the errno value `error`.
std::string ErrorNumberText(int error);

// The Japanese text (UTF-8) of the common system errors: 見つかりません,
// アクセスが拒否されました, 空き容量がありません, 読み取り専用です,
// フォルダーです and so on; the system's own text for the others.
std::string JapaneseErrorText(std::error_code error);

// The English text (UTF-8) of the system error: the C library's text, or
// the Windows system's text for a Windows error.
std::string EnglishErrorText(std::error_code error);

// `utf8` with every control character (C0, DEL, C1) written as \xNN, so
// that text from a page can never steer the terminal it is printed on.
std::string PrintableText(std::string_view utf8);

// Takes `lockable` when it comes free within `patience`; false otherwise.
// Polls, for ThreadSanitizer cannot follow std::timed_mutex's timed wait.
template <typename Lockable>
bool TryLockFor(Lockable& lockable, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!lockable.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace teebasket
