// UTF-8 <-> UTF-16 for the Windows-only sources, through the system's own
// converters. Invalid input becomes U+FFFD; nothing throws.
#pragma once

#include <string>
#include <string_view>

namespace teebasket {

std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);

}  // namespace teebasket
