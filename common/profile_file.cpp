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
// other byte stays as it was. The result replaces the file by rename, so a
// reader never sees half a file and a failed write leaves the old one. A
// write that would change nothing leaves the file untouched.
#include "ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Far above any settings file; a larger file is something else.
constexpr off_t kMaximumProfileBytes = 16 * 1024 * 1024;

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

std::string Quoted(const fs::path& path) {
    return "\"" + path.string() + "\"";
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    // Closes now and reports the result (a delayed write error shows here).
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

enum class ReadOutcome { Read, Missing, Failed };

// Reads a whole regular file. On failure `reason` says why (UTF-8).
ReadOutcome ReadWholeFile(const fs::path& path, std::string& bytes, std::string& reason) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) {
            return ReadOutcome::Missing;
        }
        reason = "cannot read " + Quoted(path) + ": " + ErrnoText(errno);
        return ReadOutcome::Failed;
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0) {
        reason = "cannot read " + Quoted(path) + ": " + ErrnoText(errno);
        return ReadOutcome::Failed;
    }
    if (S_ISDIR(status.st_mode)) {
        reason = Quoted(path) + " is a folder, not a settings file";
        return ReadOutcome::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = Quoted(path) + " is not a regular file";
        return ReadOutcome::Failed;
    }
    if (status.st_size > kMaximumProfileBytes) {
        reason = Quoted(path) + " is too large to be a settings file";
        return ReadOutcome::Failed;
    }
    bytes.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.Get(), buffer, sizeof buffer);
        if (count == 0) {
            return ReadOutcome::Read;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = "cannot read " + Quoted(path) + ": " + ErrnoText(errno);
            return ReadOutcome::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// A name for the temporary file beside `target`, unique within the process
// (the pid makes it unique between processes; O_EXCL catches the rest).
fs::path TemporarySibling(const fs::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + target.filename().string() + ".tmp" +
                             std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                             std::to_string(attempt);
    return target.parent_path() / name;
}

// Writes `bytes` to a new file beside `target` and renames it over `target`.
// `mode` is the existing file's permission bits, or nothing for a new file
// (which then gets 0666 less the umask).
std::string ReplaceFile(const fs::path& target, const std::string& bytes,
                        std::optional<mode_t> mode) {
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path temporary;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temporary = TemporarySibling(target, attempt);
        rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (rawFd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            return "cannot write " + Quoted(target) + ": the folder " + Quoted(folder) +
                   " does not exist";
        }
        if (error == ENOTDIR) {
            return "cannot write " + Quoted(target) + ": " + Quoted(folder) + " is not a folder";
        }
        return "cannot write " + Quoted(target) + ": cannot create a file in the folder " +
               Quoted(folder) + ": " + ErrnoText(error);
    }
    FileDescriptor fd(rawFd);
    auto fail = [&](const std::string& what) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return "cannot write " + Quoted(target) + ": " + what + ": " + ErrnoText(error);
    };
    if (mode && ::fchmod(fd.Get(), *mode & 07777) != 0) {
        return fail("cannot keep the file's permissions");
    }
    if (!WriteAll(fd.Get(), bytes)) {
        return fail("writing failed");
    }
    if (::fsync(fd.Get()) != 0) {
        return fail("writing failed");
    }
    if (fd.Close() != 0) {
        return fail("writing failed");
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail("cannot replace the file");
    }
    // Make the rename itself durable; a failure here leaves a complete file
    // of either version, so it is not reported.
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.Get() >= 0) {
        ::fsync(folderFd.Get());
    }
    return {};
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
    if (section.empty() || key.empty() || ReadWholeFile(file, bytes, reason) != ReadOutcome::Read) {
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
                               const std::string& key, const std::string& value) {
    if (std::string problem = CheckNames(section, key, value); !problem.empty()) {
        return "cannot write " + Quoted(file) + ": " + problem;
    }
    if (file.empty() || !file.has_filename()) {
        return "cannot write " + Quoted(file) + ": not a file name";
    }
    const fs::path target = WriteTarget(file);
    std::string bytes;
    std::string reason;
    const ReadOutcome outcome = ReadWholeFile(target, bytes, reason);
    if (outcome == ReadOutcome::Failed) {
        return reason;  // never replace a file whose content we could not see
    }
    std::optional<mode_t> mode;
    if (outcome == ReadOutcome::Read) {
        struct stat status {};
        if (::stat(target.c_str(), &status) == 0) {
            mode = status.st_mode;
        }
    }
    const std::string updated =
        JoinProfileLines(WithKey(SplitProfileLines(bytes), section, key, value));
    if (outcome == ReadOutcome::Read && updated == bytes) {
        return {};
    }
    return ReplaceFile(target, updated, mode);
}

}  // namespace teebasket
