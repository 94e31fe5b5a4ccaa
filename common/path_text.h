// PathText: file paths to and from UTF-8 text (path_text_posix.cpp,
// path_text_windows.cpp).
//
// On Linux a path is its bytes and both directions copy them unchanged. On
// Windows a path is UTF-16, and a std::filesystem::path made from a plain
// std::string would read it in the ANSI code page, so that names outside it
// (Japanese folder names on a Western system) would be lost: text that holds
// a path (settings values, command-line arguments) goes through PathFromUtf8.
// Neither direction throws; what cannot be converted becomes U+FFFD.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace teebasket {

// `path` as UTF-8 text, for messages and settings files.
std::string PathText(const std::filesystem::path& path);

// The path that the UTF-8 text `utf8` names.
std::filesystem::path PathFromUtf8(std::string_view utf8);

}  // namespace teebasket
