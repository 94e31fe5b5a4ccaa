// MECSUtils: conversion between UTF-8, UTF-16 and Windows code pages.
//
// Code pages carry their Windows numbers: 0 is the default ANSI code page
// (932 where the system has none, as on Linux), 65001 is UTF-8, 932 is
// Japanese as Windows defines it (Windows-31J). Byte strings are std::string;
// UTF-16 strings are std::u16string. Nothing here throws or reports: bad input
// gives "?" in place of each malformed sequence or missing character.
#pragma once

#include <string>

namespace teebasket {

inline constexpr unsigned kCodePageUtf8 = 65001;
inline constexpr unsigned kCodePageJapanese = 932;

// The code page that 0 stands for: 932 on systems without an ANSI code page.
unsigned DefaultAnsiCodePage();

// UTF-8 bytes to bytes of `codePage` (0: the default ANSI code page). With
// 65001 the input is returned unchanged. A zero byte ends the output.
std::string UTF8ToAnsi(const std::string& text, unsigned codePage = 0);

// Bytes of `codePage` (65001 or 932; 0 as above) to UTF-16. All bytes are
// converted: a zero byte becomes U+0000. Malformed UTF-8 gives U+FFFD.
std::u16string AnsiToUTF16(const std::string& text, unsigned codePage);

// UTF-16 to bytes of `codePage` (0 as above). The input ends at its first
// U+0000. For 932, a base character and the combining marks that follow it
// are first joined where Unicode has a precomposed character.
std::string UTF16ToAnsi(const std::u16string& wide, unsigned codePage = 0);

}  // namespace teebasket
