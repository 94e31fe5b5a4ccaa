// Other code pages through the system's converters, MultiByteToWideChar and
// WideCharToMultiByte. No best fit: a character the code page lacks becomes
// "?", as with iconv on Linux, never a look-alike.
#include <windows.h>

#include "other_code_pages.h"

namespace teebasket::other_code_pages {
namespace {

// Code pages that refuse the flags below (the system then gives 0 with
// ERROR_INVALID_FLAGS): the ISO-2022 family, ISCII, UTF-7 and symbol.
bool TakesNoFlags(unsigned codePage) {
    return (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011) ||
           codePage == 65000 || codePage == 42;
}

std::u16string Utf16Of(char32_t point) {
    if (point < 0x10000) {
        return std::u16string(1, static_cast<char16_t>(point));
    }
    point -= 0x10000;
    return {static_cast<char16_t>(0xD800 + (point >> 10)),
            static_cast<char16_t>(0xDC00 + (point & 0x3FF))};
}

// The bytes of one character, or false when the code page lacks it.
bool EncodeOne(char32_t point, unsigned codePage, std::string& bytes) {
    const std::u16string unit = Utf16Of(point);
    const auto* wide = reinterpret_cast<const wchar_t*>(unit.data());
    const int length = static_cast<int>(unit.size());
    const bool plain = TakesNoFlags(codePage);
    const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = plain ? nullptr : &usedDefault;
    char buffer[16];
    const int size = ::WideCharToMultiByte(codePage, flags, wide, length, buffer, sizeof buffer,
                                           nullptr, usedDefaultOut);
    if (size <= 0 || usedDefault) {
        return false;
    }
    bytes.assign(buffer, static_cast<std::size_t>(size));
    return true;
}

}  // namespace

std::u16string Decode(const std::string& text, unsigned codePage) {
    if (text.empty() || !::IsValidCodePage(codePage)) {
        return {};
    }
    const DWORD flags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::u16string wide(static_cast<std::size_t>(size), u'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), length,
                          reinterpret_cast<wchar_t*>(wide.data()), size);
    return wide;
}

std::string Encode(const std::vector<char32_t>& codePoints, unsigned codePage) {
    if (!::IsValidCodePage(codePage)) {
        return {};
    }
    std::string result;
    std::string bytes;
    for (const char32_t point : codePoints) {
        if (EncodeOne(point, codePage, bytes)) {
            result += bytes;
        } else {
            result.push_back('?');
        }
    }
    return result;
}

}  // namespace teebasket::other_code_pages
