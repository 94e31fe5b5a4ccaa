// PageFetcher: the downloads of a run over HTTPS, and what came of each as
// data.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "UserAgents.h"

namespace teebasket {

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
