// Text for the Windows-only sources: UTF-8 <-> UTF-16 through the system's
// own converters (invalid input becomes U+FFFD; nothing throws), and the
// system's words for an error code.
#pragma once

#include <string>
#include <string_view>

namespace teebasket {

std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);

// The system's text (UTF-8, in the user's language) for the Win32 error code
// `error`, without the line end and full stop it comes with.
std::string SystemErrorText(unsigned long error);

}  // namespace teebasket
