// Code pages other than 932 and UTF-8, which the program itself never uses:
// converted through the system's converters, iconv on Linux
// (other_code_pages_iconv.cpp) and the Win32 calls on Windows
// (other_code_pages_windows.cpp). Internal to common/.
#pragma once

#include <string>
#include <vector>

namespace teebasket::other_code_pages {

// Bytes of `codePage` to UTF-16; empty when the system does not know the
// code page or refuses the bytes.
std::u16string Decode(const std::string& text, unsigned codePage);

// Code points to bytes of `codePage`, "?" for each one the code page lacks;
// empty when the system does not know the code page.
std::string Encode(const std::vector<char32_t>& codePoints, unsigned codePage);

}  // namespace teebasket::other_code_pages
