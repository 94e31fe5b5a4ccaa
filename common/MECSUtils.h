// MECSUtils: conversion between UTF-8, UTF-16 and Windows code pages.
//
// Code pages carry their Windows numbers: 0 is the default ANSI code page
// (932 where the system has none, as on Linux), 65001 is UTF-8, 932 is
// Japanese as Windows defines it (Windows-31J). Byte strings are std::string
// (or std::string_view for input); UTF-16 strings are std::u16string. Nothing
// here throws or reports: bad input gives "?" in place of each malformed
// sequence or missing character.
//
// Code page 932 goes through tables generated from glibc's CP932 and compiled
// in (the same bytes on every platform); other code pages go through the
// system's converter.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace teebasket {

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageJapanese = 932;

// The code page that 0 stands for: 932 on systems without an ANSI code page.
unsigned DefaultAnsiCodePage();

// UTF-8 bytes to bytes of `codePage` (0: the default ANSI code page). With
// 65001 the input is returned unchanged. A zero byte ends the output. For
// 932, a base character and the combining marks that follow it are first
// joined where Unicode has a precomposed character.
std::string UTF8ToAnsi(std::string_view text, unsigned codePage = 0);

// UTF8ToAnsi, appended to `out` (bytes of `codePage`).
void AppendUTF8ToAnsi(std::string& out, std::string_view text, unsigned codePage = 0);

// Bytes of `codePage` (65001 or 932; 0 as above) to UTF-16. All bytes are
// converted: a zero byte becomes U+0000. Malformed UTF-8 gives U+FFFD.
std::u16string AnsiToUTF16(const std::string& text, unsigned codePage);

// UTF-16 to bytes of `codePage` (0 as above). The input ends at its first
// U+0000. For 932, a base character and the combining marks that follow it
// are first joined where Unicode has a precomposed character.
std::string UTF16ToAnsi(const std::u16string& wide, unsigned codePage = 0);

// Code-page-932 bytes to UTF-8 text, for messages and outputs in UTF-8. The
// output ends at the first zero byte.
std::string AnsiToUTF8(const std::string& ansi);

// The program's one UTF-8 decoder. Decodes the character that starts at
// text[index] (index < text.size()) into `codePoint` and returns the number
// of bytes it takes, at least 1. A malformed sequence (overlong, surrogate,
// above U+10FFFF, cut short) gives U+FFFD for each maximal ill-formed
// subsequence, as Unicode recommends.
std::size_t DecodeUtf8At(std::string_view text, std::size_t index, char32_t& codePoint);

}  // namespace teebasket
