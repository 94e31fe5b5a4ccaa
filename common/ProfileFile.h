// ProfileFile: reading and writing keys of an INI (profile) file such as
// golf.ini, in the layout of the Windows profile functions: "[Section]"
// header lines, then "Key=Value" lines.
//
// Section and key names compare without regard to ASCII case. Values are
// returned as the bytes of the file (golf.ini holds ASCII). Writing a key
// changes only that key's line (or adds it) and keeps every other line of the
// file byte for byte, line ends included.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace teebasket {

// The value of `key` in `section`, trimmed of blanks around it, or
// `defaultValue` when the file, the section or the key is missing.
std::string ReadProfileString(const std::filesystem::path& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// Sets `key` in `section` to `value`, creating the file and the section when
// they are missing. The file is replaced atomically (written beside it, then
// renamed). Returns an empty string on success, otherwise a UTF-8 reason.
// `systemError`, when given, receives the system's error behind a failure (a
// folder in the file's place gives is_a_directory, another non-file
// invalid_argument, a file too large file_too_large), or none.
std::string WriteProfileString(const std::filesystem::path& file, const std::string& section,
                               const std::string& key, const std::string& value,
                               std::error_code* systemError = nullptr);

}  // namespace teebasket
