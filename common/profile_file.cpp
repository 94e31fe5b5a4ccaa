// Reading and writing profile (INI) files with the rules of the Windows
// profile functions, so that a golf.ini written by either side reads the same.
//
// Reading: "[Section]" lines open a section; "Key=Value" lines inside it hold
// keys. Names compare without regard to ASCII case, blanks around names and
// values are dropped, a value enclosed in matching quotes loses them, and the
// first matching section (and in it the first matching key) wins. A UTF-8
// byte order mark before the first line is skipped.
//
// Writing: the file is kept as a sequence of byte ranges; only the key's line
// is replaced (or one line, or a section header and a line, added), every
// other byte stays as it was. The result replaces the file in one step
// (whole_file.h), so a reader never sees half a file and a failed write
// leaves the old one. A write that would change nothing leaves the file
// untouched.
#include "ProfileFile.h"

#include <string_view>
#include <system_error>
#include <vector>

#include "SystemText.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Far above any settings file; a larger file is something else.
constexpr std::uintmax_t kMaximumProfileBytes = 16 * 1024 * 1024;

// ---------------------------------------------------------------------------
// Parsing

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view StripMatchingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// One line of the file: its bytes without the line end, and the line end
// itself ("\r\n", "\n", or "" for a last line without one).
struct ProfileLine {
    std::string text;
    std::string end;
};

std::vector<ProfileLine> SplitProfileLines(std::string_view bytes) {
    std::vector<ProfileLine> lines;
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        if (lf == std::string_view::npos) {
            lines.push_back({std::string(bytes), ""});
            break;
        }
        const bool crlf = lf > 0 && bytes[lf - 1] == '\r';
        const std::size_t textLength = crlf ? lf - 1 : lf;
        lines.push_back({std::string(bytes.substr(0, textLength)), crlf ? "\r\n" : "\n"});
        bytes.remove_prefix(lf + 1);
    }
    return lines;
}

std::string JoinProfileLines(const std::vector<ProfileLine>& lines) {
    std::string bytes;
    for (const ProfileLine& line : lines) {
        bytes += line.text;
        bytes += line.end;
    }
    return bytes;
}

// The text of line `index` as the parser sees it (without a leading byte
// order mark on the first line).
std::string_view ParsedText(const std::vector<ProfileLine>& lines, std::size_t index) {
    std::string_view text = lines[index].text;
    if (index == 0 && text.starts_with(kUtf8ByteOrderMark)) {
        text.remove_prefix(kUtf8ByteOrderMark.size());
    }
    return text;
}

// The name of a "[Section]" line, or nothing when the line is not a header.
std::optional<std::string_view> SectionName(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.starts_with('[')) {
        return std::nullopt;
    }
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return TrimBlanks(text.substr(1, close - 1));
}

// A "Key=Value" line: the key's name and where the value starts and ends in
// the line's text.
struct KeyLine {
    std::string_view name;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

std::optional<KeyLine> ParseKeyLine(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    KeyLine key;
    key.name = TrimBlanks(text.substr(0, equals));
    if (key.name.empty()) {
        return std::nullopt;
    }
    key.valueBegin = equals + 1;
    while (key.valueBegin < text.size() && IsBlank(text[key.valueBegin])) {
        ++key.valueBegin;
    }
    key.valueEnd = text.size();
    while (key.valueEnd > key.valueBegin && IsBlank(text[key.valueEnd - 1])) {
        --key.valueEnd;
    }
    return key;
}

// Where a key sits in the file: the first section of the name, its last
// non-blank line, and the first line of the key in that section.
struct KeyLocation {
    std::optional<std::size_t> sectionLine;
    std::size_t lastLineOfSection = 0;
    std::optional<std::size_t> keyLine;
    KeyLine key;
};

KeyLocation LocateKey(const std::vector<ProfileLine>& lines, std::string_view section,
                      std::string_view key) {
    KeyLocation location;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = ParsedText(lines, i);
        const std::optional<std::string_view> header = SectionName(text);
        if (location.sectionLine) {
            if (header) {
                break;  // the first section of the name ends here
            }
            if (!TrimBlanks(text).empty()) {
                location.lastLineOfSection = i;
            }
            if (!location.keyLine) {
                const std::optional<KeyLine> keyLine = ParseKeyLine(text);
                if (keyLine && SameName(keyLine->name, key)) {
                    location.keyLine = i;
                    location.key = *keyLine;
                }
            }
        } else if (header && SameName(*header, section)) {
            location.sectionLine = i;
            location.lastLineOfSection = i;
        }
    }
    return location;
}

// ---------------------------------------------------------------------------
// Files

enum class ReadOutcome { Read, Missing, Failed };

// Reads a whole regular file. On failure `reason` says why (UTF-8) and
// `error` is the system's error behind it.
ReadOutcome ReadProfileBytes(const fs::path& path, std::string& bytes, std::string& reason,
                             std::error_code& error) {
    using Status = WholeFileRead::Status;
    WholeFileRead read = ReadWholeFile(path, kMaximumProfileBytes);
    switch (read.status) {
        case Status::Read:
            bytes = std::move(read.bytes);
            return ReadOutcome::Read;
        case Status::Missing:
            return ReadOutcome::Missing;
        case Status::IsFolder:
            reason = QuotedPath(path) + " is a folder, not a settings file";
            error = std::make_error_code(std::errc::is_a_directory);
            return ReadOutcome::Failed;
        case Status::IsLink:
        case Status::NotRegular:
            reason = QuotedPath(path) + " is not a regular file";
            error = std::make_error_code(std::errc::invalid_argument);
            return ReadOutcome::Failed;
        case Status::TooLarge:
            reason = QuotedPath(path) + " is too large to be a settings file";
            error = std::make_error_code(std::errc::file_too_large);
            return ReadOutcome::Failed;
        case Status::Failed:
            break;
    }
    reason = "cannot read " + QuotedPath(path) + ": " + read.systemError;
    error = read.error;
    return ReadOutcome::Failed;
}

// Replaces `target` with `bytes` in one step; "" on success, else why, with
// the system's error in `error`.
std::string ReplaceProfileFile(const fs::path& target, const std::string& bytes,
                               std::error_code& error) {
    using Status = WholeFileReplace::Status;
    const WholeFileReplace replace = ReplaceWholeFile(target, bytes);
    error = replace.error;
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const std::string prefix = "cannot write " + QuotedPath(target) + ": ";
    switch (replace.status) {
        case Status::Replaced:
            return {};
        case Status::FolderMissing:
            return prefix + "the folder " + QuotedPath(folder) + " does not exist";
        case Status::NotAFolder:
            return prefix + QuotedPath(folder) + " is not a folder";
        case Status::CannotCreate:
            return prefix + "cannot create a file in the folder " + QuotedPath(folder) + ": " +
                   replace.systemError;
        case Status::CannotKeepPermissions:
            return prefix + "cannot keep the file's permissions: " + replace.systemError;
        case Status::WriteFailed:
            return prefix + "writing failed: " + replace.systemError;
        case Status::CannotReplace:
            break;
    }
    return prefix + "cannot replace the file: " + replace.systemError;
}

// The path to write: the file a symbolic link points at, so that the link
// stays a link.
fs::path WriteTarget(const fs::path& file) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(file, error))) {
        const fs::path resolved = fs::weakly_canonical(file, error);
        if (!error) {
            return resolved;
        }
    }
    return file;
}

std::string CheckNames(const std::string& section, const std::string& key,
                       const std::string& value) {
    auto hasLineBreakOrZero = [](std::string_view text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    if (section.empty() || hasLineBreakOrZero(section) || section.find(']') != std::string::npos ||
        TrimBlanks(section) != section) {
        return "invalid section name \"" + section + "\"";
    }
    if (key.empty() || hasLineBreakOrZero(key) || key.find('=') != std::string::npos ||
        key.front() == '[' || TrimBlanks(key) != key) {
        return "invalid key name \"" + key + "\"";
    }
    if (hasLineBreakOrZero(value)) {
        return "the value of " + key + " holds a line break";
    }
    return {};
}

// The line end that lines added to the file use: the file's own (that of its
// first line), or CR LF as the Windows profile functions write.
std::string AddedLineEnd(const std::vector<ProfileLine>& lines) {
    for (const ProfileLine& line : lines) {
        if (!line.end.empty()) {
            return line.end;
        }
    }
    return "\r\n";
}

// Inserts `added` after line `index` (or at the start for nothing). When that
// line was the file's last one without a line end, it gets one and the last
// added line goes without, so the file still ends as it did.
void InsertLinesAfter(std::vector<ProfileLine>& lines, std::optional<std::size_t> index,
                      std::vector<ProfileLine> added, const std::string& lineEnd) {
    const std::size_t position = index ? *index + 1 : 0;
    if (index && lines[*index].end.empty()) {
        lines[*index].end = lineEnd;
        added.back().end.clear();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(position), added.begin(), added.end());
}

std::vector<ProfileLine> WithKey(std::vector<ProfileLine> lines, const std::string& section,
                                 const std::string& key, const std::string& value) {
    const KeyLocation location = LocateKey(lines, section, key);
    const std::string lineEnd = AddedLineEnd(lines);
    if (location.keyLine) {
        ProfileLine& line = lines[*location.keyLine];
        const std::size_t bomOffset =
            line.text.size() - ParsedText(lines, *location.keyLine).size();
        line.text = line.text.substr(0, bomOffset + location.key.valueBegin) + value;
        return lines;
    }
    const ProfileLine keyLine{key + "=" + value, lineEnd};
    if (location.sectionLine) {
        InsertLinesAfter(lines, location.lastLineOfSection, {keyLine}, lineEnd);
        return lines;
    }
    const ProfileLine header{"[" + section + "]", lineEnd};
    std::optional<std::size_t> last;
    if (!lines.empty()) {
        last = lines.size() - 1;
    }
    InsertLinesAfter(lines, last, {header, keyLine}, lineEnd);
    return lines;
}

}  // namespace

std::string ReadProfileString(const fs::path& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
    std::string bytes;
    std::string reason;
    std::error_code error;
    if (section.empty() || key.empty() ||
        ReadProfileBytes(file, bytes, reason, error) != ReadOutcome::Read) {
        return defaultValue;
    }
    const std::vector<ProfileLine> lines = SplitProfileLines(bytes);
    const KeyLocation location = LocateKey(lines, section, key);
    if (!location.keyLine) {
        return defaultValue;
    }
    const std::string_view text = ParsedText(lines, *location.keyLine);
    const std::string_view value =
        text.substr(location.key.valueBegin, location.key.valueEnd - location.key.valueBegin);
    return std::string(StripMatchingQuotes(value));
}

std::string WriteProfileString(const fs::path& file, const std::string& section,
                               const std::string& key, const std::string& value,
                               std::error_code* systemError) {
    std::error_code ignored;
    std::error_code& error = systemError != nullptr ? *systemError : ignored;
    error.clear();
    if (std::string problem = CheckNames(section, key, value); !problem.empty()) {
        return "cannot write " + QuotedPath(file) + ": " + problem;
    }
    if (file.empty() || !file.has_filename()) {
        return "cannot write " + QuotedPath(file) + ": not a file name";
    }
    const fs::path target = WriteTarget(file);
    std::string bytes;
    std::string reason;
    const ReadOutcome outcome = ReadProfileBytes(target, bytes, reason, error);
    if (outcome == ReadOutcome::Failed) {
        return reason;  // never replace a file whose content we could not see
    }
    const std::string updated =
        JoinProfileLines(WithKey(SplitProfileLines(bytes), section, key, value));
    if (outcome == ReadOutcome::Read && updated == bytes) {
        return {};
    }
    return ReplaceProfileFile(target, updated, error);
}

}  // namespace teebasket
