#include "SystemText.h"

#include <cerrno>
#include <system_error>

#include "path_text.h"

namespace teebasket {

std::string QuotedPath(const std::filesystem::path& path) {
    return "\"" + PathText(path) + "\"";
}

std::string ErrorNumberText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

std::string JapaneseErrorText(std::error_code error) {
    struct Text {
        std::errc condition;
        const char* japanese;
    };
    static constexpr Text kTexts[] = {
        {std::errc::no_such_file_or_directory, "見つかりません"},
        {std::errc::permission_denied, "アクセスが拒否されました"},
        {std::errc::operation_not_permitted, "アクセスが拒否されました"},
        {std::errc::no_space_on_device, "空き容量がありません"},
        {std::errc::file_too_large, "ファイルが大きすぎます"},
        {std::errc::read_only_file_system, "読み取り専用です"},
        {std::errc::is_a_directory, "フォルダーです"},
        {std::errc::not_a_directory, "フォルダーではありません"},
        {std::errc::file_exists, "同じ名前のものがすでにあります"},
        {std::errc::too_many_symbolic_link_levels, "シンボリックリンクです"},
        {std::errc::filename_too_long, "名前が長すぎます"},
        {std::errc::io_error, "入出力エラーが発生しました"},
        {std::errc::device_or_resource_busy, "使用中です"},
        {std::errc::text_file_busy, "使用中です"},
        {std::errc::too_many_files_open, "開いているファイルが多すぎます"},
        {std::errc::invalid_argument, "通常のファイルではありません"},
        {std::errc::directory_not_empty, "フォルダーが空ではありません"},
        {std::errc::cross_device_link, "別のドライブへは移動できません"},
        {std::errc::not_enough_memory, "メモリが足りません"},
        {std::errc::resource_unavailable_try_again, "一時的に使用できません"},
        {std::errc::no_such_device, "デバイスが見つかりません"},
        {std::errc::no_such_device_or_address, "デバイスが見つかりません"},
        {std::errc::broken_pipe, "書き込み先が閉じられました"},
        {std::errc::interrupted, "処理が中断されました"},
    };
    for (const Text& text : kTexts) {
        if (error == text.condition) {
            return text.japanese;
        }
    }
#ifdef EDQUOT
    // A quota has no std::errc of its own.
    if (error == std::error_code(EDQUOT, std::generic_category()) ||
        error == std::error_code(EDQUOT, std::system_category())) {
        return "ディスクの使用量の上限に達しました";
    }
#endif
    return EnglishErrorText(error);
}

std::string EnglishErrorText(std::error_code error) {
    return error.message();
}

std::string PrintableText(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(utf8.size());
    const auto escape = [&text](unsigned char byte) {
        text += "\\x";
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            escape(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(next);  // U+0080-U+009F, the C1 controls (ESC's 8-bit forms among them)
            ++i;
        } else {
            text.push_back(static_cast<char>(byte));
        }
    }
    return text;
}

}  // namespace teebasket
