// Unicommon: the page fetcher and the text helpers of the harvest engine.
//
// Texts are std::string values holding code-page-932 bytes (or the raw UTF-8
// bytes of a downloaded page, where only ASCII markers are looked for).
// Positions are 1-based byte positions; 0 means "not found". Every search
// respects the character boundaries of code page 932: a match never starts on
// the second byte of a double-byte character.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace teebasket {

// ---------------------------------------------------------------------------
// Text primitives (code-page-932 bytes in, code-page-932 bytes out)

// True for the first byte of a double-byte character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Position (1-based) of the first occurrence of `pattern` in `text` that starts
// on a character boundary, or 0. An empty pattern or text gives 0.
std::size_t TextFind(std::string_view text, std::string_view pattern);

// At most `count` bytes of `text` from 1-based `position` on; a position below
// 1 counts as 1; a position beyond the end or a count of 0 or less gives "".
std::string TextCopy(std::string_view text, std::ptrdiff_t position, std::ptrdiff_t count);

// `text` without its leading and trailing bytes 0x00-0x20. A full-width space
// (81 40) is not removed.
std::string_view TextTrimView(std::string_view text);
std::string TextTrim(std::string_view text);

// Every occurrence of `pattern` replaced by `replacement`, left to right,
// ASCII letters compared without regard to case; the replacement is never
// searched again.
std::string TextReplace(std::string_view text, std::string_view pattern,
                        std::string_view replacement);

// TextReplace with an empty replacement.
std::string TextRemove(std::string_view text, std::string_view pattern);

// True when `a` and `b` are equal with ASCII letters compared without regard
// to case (the second byte of a double-byte character is compared exactly).
bool TextSameIgnoringCase(std::string_view a, std::string_view b);

// True when the first literal.size() bytes of `text` equal `literal` exactly
// (case-sensitive). A shorter text never matches. Inline: the extraction
// tests every piece of a page against several short literals.
inline bool HasPrefix(std::string_view text, std::string_view literal) {
    return text.size() >= literal.size() &&
           std::char_traits<char>::compare(text.data(), literal.data(), literal.size()) == 0;
}

// Appends to `list` the non-empty pieces of `text` between occurrences of
// `delimiter` (found as by TextFind). The list is not cleared first.
void SplitText(std::string_view text, std::string_view delimiter, std::vector<std::string>& list);

// SplitText one piece at a time, for texts whose pieces need not all be held
// at once: each piece is a view into the text, which must outlive the
// splitter.
class TextSplitter {
  public:
    TextSplitter(std::string_view text, std::string_view delimiter)
        : text_(text), delimiter_(delimiter) {}

    // Sets `piece` to the next non-empty piece and returns true, or returns
    // false when there is none left.
    bool Next(std::string_view& piece);

  private:
    std::string_view text_;
    std::string_view delimiter_;
    std::size_t current_ = 0;
};

// `text` with the full-width digits, parentheses and hyphens of code page 932
// replaced by their ASCII forms (the 14 pairs of HalfWidthTable, in order).
std::string NormalizeText(std::string_view text);

struct HalfWidthPair {
    std::string_view fullWidth;  // code-page-932 bytes
    std::string_view ascii;
};
extern const std::array<HalfWidthPair, 14> HalfWidthTable;

// ---------------------------------------------------------------------------
// Page lines

// Splits raw bytes into lines: a line ends at CR, at LF or at CR LF (one
// break); the last line needs no terminator. Bytes are kept as they are.
std::vector<std::string> SplitLines(std::string_view bytes);

// Reads raw bytes line by line, cut as SplitLines cuts them, without copying
// them: each line is a view into the bytes, which must outlive the cursor.
class LineCursor {
  public:
    explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}

    // Sets `line` to the next line and returns true, or returns false after
    // the last line.
    bool Next(std::string_view& line);

    // The number of bytes behind the line that Next gave last.
    std::size_t Remaining() const { return bytes_.size() - next_; }

  private:
    std::string_view bytes_;
    std::size_t next_ = 0;
};

// A downloaded page: its raw bytes (UTF-8 as the server sent them) in one
// buffer, read line by line through a LineCursor. Reading a page this way
// costs its size once, however many lines it has.
class PageText {
  public:
    PageText() = default;
    explicit PageText(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string_view Bytes() const { return bytes_; }
    bool Empty() const { return bytes_.empty(); }
    LineCursor Lines() const { return LineCursor(bytes_); }

  private:
    std::string bytes_;
};

// Loads a file whole into `page`, in one buffer of the file's size. Returns
// false (and leaves `page` empty) when the file does not exist or cannot be
// read.
bool LoadPage(const std::filesystem::path& path, PageText& page);

// ---------------------------------------------------------------------------
// User agents

inline constexpr std::array<std::string_view, 5> UserAgentTable = {
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.0; Trident/5.0)",
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Win64; x64; Trident/6.0)",
    "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0; Sleipnir/2.9.8)",
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; ARM; Trident/6.0)",
};

// The agent generator: a 32-bit linear congruential state that starts at 0
// and is never seeded, so every process sends the same agent sequence
// (indexes 0, 0, 4, 1, 1, 3, 1, 0, 1, 2, ...). One object lives as long as
// the program and is handed to every run; it is never reset between runs.
class UserAgentGenerator {
  public:
    // Advances the state once and returns an index into UserAgentTable.
    std::size_t NextIndex();

  private:
    std::uint32_t state_ = 0;
};

// ---------------------------------------------------------------------------
// Page fetcher

enum class FetchStatus {
    Stored,             // the body is in the scratch file (whatever the HTTP status)
    InvalidUrl,         // empty or malformed address, or not https
    Unreachable,        // host name not resolved, connection refused or timed out
    TlsFailed,          // handshake failed, certificate or host name not trusted
    TransferFailed,     // the connection broke or the server answered nonsense
    TimedOut,           // stalled below the low-speed limit, or the whole call took too long
    TooLarge,           // body above FetchOptions::maxBodyBytes
    InsecureRedirect,   // a redirect to anything but https
    ScratchNotWritten,  // the body arrived but the scratch file could not be written
    Stopped             // the caller asked the download to stop (FetchStop)
};

// Real detail pages weigh 100-150 KB and listing pages far less; a page many
// times that size is not a portal page, and the cap bounds the memory a run
// needs to read one.
inline constexpr std::size_t kMaxPageBytes = 16u * 1024u * 1024u;

struct FetchOptions {
    // Extra trusted certificates (PEM), in addition to the system's store.
    // Empty: the system's store only. A file that does not exist is left out
    // too, and the reason of a TLS failure then says so. Certificate and
    // host-name checks are always on.
    std::filesystem::path caCertificateFile;
    // Covers the TCP connection and the TLS handshake. 0: libcurl's default.
    std::chrono::milliseconds connectTimeout{30'000};
    // The call gives up when fewer than lowSpeedBytesPerSecond arrive for
    // this long (counted in whole seconds, at least 1). 0: no such limit.
    std::chrono::milliseconds lowSpeedTime{30'000};
    long lowSpeedBytesPerSecond = 100;
    // The whole call, redirects included. 0: no limit.
    std::chrono::milliseconds totalTimeout{120'000};
    std::size_t maxBodyBytes = kMaxPageBytes;
};

// Asked by a download in progress, several times a second, whether it should
// give up at once (the user pressed Cancel or Ctrl-C).
class FetchStop {
  public:
    virtual bool StopRequested() const = 0;

  protected:
    ~FetchStop() = default;
};

// What exactly went wrong with a download, as data: the front ends word it.
enum class FetchError {
    None,                    // the body is stored (whatever the HTTP status)
    InvalidAddress,          // empty or malformed address, or not https
    HostNotFound,            // the host name could not be resolved
    Refused,                 // the connection was refused
    ConnectTimedOut,         // no connection within the connect time-out
    CertificateNotTrusted,   // the portal's certificate is not signed by a trusted authority
    NameMismatch,            // the certificate is for another name
    TrustedFileMissing,      // the extra trusted-certificate file does not exist
    SecureConnectionFailed,  // any other failure of the TLS handshake
    TimedOut,                // the portal stopped answering (low-speed limit or whole-call limit)
    ConnectionReset,         // the connection broke while the answer came
    BodyCutShort,            // the answer ended before its announced length
    BrokenAnswer,            // the answer was not HTTP, or nothing came back
    PageTooLarge,            // body above FetchOptions::maxBodyBytes
    InsecureRedirect,        // a redirect to anything but https
    ScratchNotWritten,       // the scratch file could not be written
    Stopped,                 // the caller asked the download to stop
    ClientFailed,            // the HTTP client could not be set up
};

struct FetchResult {
    FetchStatus status = FetchStatus::InvalidUrl;
    FetchError error = FetchError::InvalidAddress;
    long httpStatus = 0;        // 0 when no answer arrived
    std::size_t bodyBytes = 0;  // bytes stored when status is Stored
    // The data behind `error`, for the front ends to quote: libcurl's text of
    // the failure, the refused redirect's address, the scratch file's system
    // error. Empty when Stored.
    std::string detail;
    int systemError = 0;  // the system's error number of a scratch file not written
    // The answer's Retry-After, as a wait from the time the answer came.
    std::optional<std::chrono::seconds> retryAfter;
    // The same request may well succeed when it is sent again: a refused or
    // reset connection, a time-out, a body cut short. (HTTP statuses are the
    // caller's to judge: the answer was stored.)
    bool transient = false;

    bool Stored() const { return status == FetchStatus::Stored; }
    // True for the failures that mean the portal could not be reached at all:
    // no connection (host not found, refused, no answer to connect) or no
    // secure one, or a portal that stopped answering.
    bool HostUnreachable() const {
        return status == FetchStatus::Unreachable || status == FetchStatus::TlsFailed ||
               status == FetchStatus::TimedOut;
    }
};

// The downloads of one run, one at a time, over connections kept open from
// one download to the next: consecutive pages of a host share one kept-alive
// TLS connection instead of each opening its own. Every download still sets
// all of its own options (agent, time-outs, size cap, trusted certificates).
// A kept connection that the server has closed meanwhile is replaced by a new
// one without the download failing. Not for use from two threads at once.
class FetchSession {
  public:
    FetchSession();
    ~FetchSession();  // closes every kept connection
    FetchSession(const FetchSession&) = delete;
    FetchSession& operator=(const FetchSession&) = delete;

    // Downloads `url` (an https address, ASCII) with one HTTPS GET, the
    // User-Agent drawn from `agents`, and stores the body byte for byte in
    // `scratchPath` (through a temporary file renamed over it on success). On
    // any failure the scratch file is removed, so a caller never reads an
    // earlier page. When `stop` is given, the download ends within about a
    // tenth of a second of it being requested, with FetchStatus::Stopped.
    FetchResult Fetch(const std::string& url, const std::filesystem::path& scratchPath,
                      UserAgentGenerator& agents, const FetchOptions& options = {},
                      const FetchStop* stop = nullptr);

    // Closes the kept connections; the next download opens a new one.
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The wait that a Retry-After header value asks for: a number of seconds, or
// an HTTP date (a date in the past asks for no wait). Nothing for a value that
// is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now);

// The HTTP statuses that say "try again later": 408, 425, 429, 500, 502, 503
// and 504.
bool IsRetryableHttpStatus(long httpStatus);

}  // namespace teebasket
