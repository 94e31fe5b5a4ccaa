#include "PortalServer.h"
#include "whole_file.h"

#include <httplib.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

#include "bulk_pages.h"
#include "guarded_server.h"

namespace teebasket::portal {
namespace {

namespace fs = std::filesystem;

// Larger than any page a fixture holds, the pages over the engine's limit
// included.
constexpr std::uintmax_t kLargestFixturePage = 64u * 1024u * 1024u;

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kOctets = "application/octet-stream";
constexpr std::string_view kListingPrefix = "/doc/area/";
constexpr std::string_view kDetailPrefix = "/guide/disp/c_id/";
constexpr std::string_view kReviewPrefix = "/voice/detail/c_id/";
constexpr std::string_view kFaultPrefix = "x-";

// Bodies of a fault path that breaks off: this much is sent of a declared
// kBrokenBodyLength.
constexpr std::size_t kBrokenBodySent = 1000;
constexpr std::size_t kBrokenBodyLength = 100000;
constexpr std::size_t kTrickleBytes = 40;
constexpr auto kTricklePause = std::chrono::milliseconds(100);
constexpr std::size_t kZeroBodyLength = 3000;
constexpr std::size_t kWriteChunk = 64 * 1024;

// The repeating line of x-bytes-N and x-chunked-N: 63 characters and an LF.
constexpr std::string_view kBytePattern =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-\n";
static_assert(kBytePattern.size() == 64);

std::optional<std::uint64_t> NumberAfter(std::string_view text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix || text.size() == prefix.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const char* first = text.data() + prefix.size();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

// A file name taken from a request: letters, digits, "-", "_" and "."; never
// a hidden name, so no request can leave the pages folder.
bool IsSafeName(std::string_view name) {
    if (name.empty() || name.front() == '.') {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

// Writes `length` bytes of the repeating pattern, as they stand from `offset`.
bool WritePattern(std::size_t offset, std::size_t length, httplib::DataSink& sink) {
    static const std::string block = [] {
        std::string text;
        while (text.size() < kWriteChunk + kBytePattern.size()) {
            text += kBytePattern;
        }
        return text;
    }();
    const std::size_t count = std::min(length, kWriteChunk);
    return sink.write(block.data() + offset % kBytePattern.size(), count);
}

// Answers with `page` as an HTML body, moved in rather than copied.
void SetPage(httplib::Response& response, std::string page) {
    response.body = std::move(page);
    response.set_header("Content-Type", kHtml);
}

int SocketOf(const httplib::Request& request) {
    return request.ssl != nullptr ? SSL_get_fd(request.ssl) : -1;
}

// True while the client keeps its side of the connection open and sends
// nothing (it has nothing to send while it waits for an answer).
bool ClientStillWaiting(int socket) {
    if (socket < 0) {
        return true;
    }
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 0;
}

// Ends the connection with a TCP reset: linger 0, and the descriptor is
// pointed at a fresh unconnected socket, so the connection's last reference
// closes now while the server's own descriptor stays valid for its clean-up.
void ResetConnection(int socket) {
    if (socket < 0) {
        return;
    }
    linger immediate{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
    const int placeholder = ::socket(AF_INET, SOCK_STREAM, 0);
    if (placeholder >= 0) {
        ::dup2(placeholder, socket);
        ::close(placeholder);
    }
}

// Ends the connection as a server does that drops a kept-alive connection:
// the client finds it closed, with no answer to the request it sent.
void CloseConnection(int socket) {
    if (socket >= 0) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

// The portal's record of one TLS connection, kept with the connection's SSL
// object (which lives exactly as long as the connection): its number and the
// requests it has carried so far.
struct ConnectionTally {
    std::uint64_t number = 0;
    std::uint64_t requests = 0;
};

void FreeConnectionTally(void*, void* tally, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<ConnectionTally*>(tally);
}

int ConnectionTallyIndex() {
    static const int index =
        SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, &FreeConnectionTally);
    return index;
}

ConnectionTally* TallyOf(const httplib::Request& request) {
    if (request.ssl == nullptr) {
        return nullptr;
    }
    return static_cast<ConnectionTally*>(SSL_get_ex_data(request.ssl, ConnectionTallyIndex()));
}

// The web date of `when`, as an HTTP Retry-After or Date header writes it.
std::string HttpDate(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday],
                  parts.tm_mday, kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour,
                  parts.tm_min, parts.tm_sec);
    return text;
}

// x-flaky-K-FAULT[-after-S|-at-S][-REST]: the first K requests of the path
// fail with FAULT (a status from 400 to 599, or reset, truncate or stall);
// later ones are answered as the path with REST in place of the name would be.
struct FlakyFault {
    std::uint64_t failures = 0;
    std::string fault;                            // "503", "reset", ...
    int status = 0;                               // the status of a status fault, otherwise 0
    std::string retryAfterSeconds;                // "after-S": Retry-After: S
    std::optional<std::uint64_t> retryAtSeconds;  // "at-S": Retry-After: the date in S seconds
    std::string rest;

    static std::optional<FlakyFault> Parse(std::string_view name);
};

// Splits the next "-"-separated piece off `text`.
std::string_view NextPiece(std::string_view& text) {
    const std::size_t dash = text.find('-');
    const std::string_view piece = text.substr(0, dash);
    text = dash == std::string_view::npos ? std::string_view() : text.substr(dash + 1);
    return piece;
}

std::optional<FlakyFault> FlakyFault::Parse(std::string_view name) {
    constexpr std::string_view kPrefix = "x-flaky-";
    if (name.substr(0, kPrefix.size()) != kPrefix) {
        return std::nullopt;
    }
    std::string_view text = name.substr(kPrefix.size());
    FlakyFault flaky;
    const auto failures = NumberAfter(NextPiece(text), "");
    const std::string_view fault = NextPiece(text);
    if (!failures || fault.empty()) {
        return std::nullopt;
    }
    flaky.failures = *failures;
    flaky.fault = std::string(fault);
    if (const auto status = NumberAfter(fault, ""); status) {
        if (*status < 400 || *status > 599) {
            return std::nullopt;
        }
        flaky.status = static_cast<int>(*status);
    } else if (fault != "reset" && fault != "truncate" && fault != "stall") {
        return std::nullopt;
    }
    std::string_view lookahead = text;
    const std::string_view option = NextPiece(lookahead);
    if (flaky.status != 0 && (option == "after" || option == "at")) {
        const auto seconds = NumberAfter(NextPiece(lookahead), "");
        if (!seconds) {
            return std::nullopt;
        }
        if (option == "after") {
            flaky.retryAfterSeconds = std::to_string(*seconds);
        } else {
            flaky.retryAtSeconds = *seconds;
        }
        text = lookahead;
    }
    flaky.rest = std::string(text);
    return flaky;
}

}  // namespace

struct PortalServer::Impl {
    PortalOptions options;
    TlsFiles tls;
    CourseCatalog catalog;
    std::unique_ptr<GuardedServer> server;
    int port = 0;

    std::mutex stopMutex;
    std::condition_variable stopWake;
    bool stopping = false;

    std::mutex logMutex;
    std::ofstream log;
    std::atomic<std::uint64_t> connections{0};

    std::mutex flakyMutex;
    std::map<std::string, std::uint64_t> flakyRequests;  // requests so far, by path

    Impl(PortalOptions o, const TlsFiles& t)
        : options(std::move(o)), tls(t), catalog(options.catalog) {}

    // Waits up to `duration`; returns false when the portal is stopping.
    bool Pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(stopMutex);
        return !stopWake.wait_for(lock, duration, [this] { return stopping; });
    }

    // Holds a request until the client gives up, the portal stops or the
    // stall limit passes. Only a few requests stall at once, and never on
    // the last free worker: beyond them a stall ends at once.
    void Stall(int socket) {
        const HeldWorker held = server->HoldWorker();
        if (!held) {
            return;
        }
        const auto end = std::chrono::steady_clock::now() + options.stallLimit;
        while (std::chrono::steady_clock::now() < end && ClientStillWaiting(socket) &&
               Pause(std::chrono::milliseconds(50))) {
        }
    }

    // Counts the request on its connection, which gets its number with its
    // first request; returns the connection's tally.
    ConnectionTally CountRequest(const httplib::Request& request) {
        ConnectionTally* tally = TallyOf(request);
        if (tally == nullptr && request.ssl != nullptr) {
            tally = new ConnectionTally{++connections, 0};
            // cpp-httplib hands the SSL object over as const; the tally is the
            // portal's own note attached to it, not a change of the connection.
            SSL_set_ex_data(const_cast<SSL*>(request.ssl), ConnectionTallyIndex(), tally);
        }
        if (tally == nullptr) {
            return {};
        }
        ++tally->requests;
        return *tally;
    }

    void LogRequest(const httplib::Request& request, const ConnectionTally& connection) {
        if (!log.is_open()) {
            return;
        }
        std::lock_guard lock(logMutex);
        log << request.method << '\t' << request.target << '\t'
            << request.get_header_value("User-Agent") << '\t' << connection.number << '\n'
            << std::flush;
    }

    // True while the path's requests so far (this one included) are no
    // more than `failures`.
    bool FlakyRequestFails(const std::string& path, std::uint64_t failures) {
        std::lock_guard lock(flakyMutex);
        return ++flakyRequests[path] <= failures;
    }

    enum class PathKind { Listing, Detail };

    void Handle(const httplib::Request& request, httplib::Response& response);
    void ServeListing(std::string_view slug, const httplib::Request& request,
                      httplib::Response& response);
    void ServeListingOrDetail(PathKind kind, std::string_view name, const httplib::Request& request,
                              httplib::Response& response);
    void ServeDetail(std::string_view id, httplib::Response& response);
    void ServeReviews(std::string_view id, httplib::Response& response);
    void ServeFixture(const fs::path& file, std::string_view path, httplib::Response& response);
    bool ServeFault(PathKind kind, std::string_view name, const httplib::Request& request,
                    httplib::Response& response);
    void ServeFlaky(PathKind kind, const FlakyFault& flaky, const httplib::Request& request,
                    httplib::Response& response);
    void ServeBrokenBody(const std::string& kind, int socket, httplib::Response& response);
    void ServeNotFound(std::string_view path, httplib::Response& response) {
        response.status = 404;
        response.set_content(NotFoundPage(path), kHtml);
    }
};

void PortalServer::Impl::Handle(const httplib::Request& request, httplib::Response& response) {
    LogRequest(request, CountRequest(request));
    std::string_view path = request.path;
    if (path.substr(0, kListingPrefix.size()) == kListingPrefix) {
        std::string_view slug = path.substr(kListingPrefix.size());
        if (!slug.empty() && slug.back() == '/') {
            slug.remove_suffix(1);
        }
        ServeListingOrDetail(PathKind::Listing, slug, request, response);
    } else if (path.substr(0, kDetailPrefix.size()) == kDetailPrefix) {
        std::string_view id = path.substr(kDetailPrefix.size());
        if (!id.empty() && id.back() == '/') {
            id.remove_suffix(1);
        }
        ServeListingOrDetail(PathKind::Detail, id, request, response);
    } else if (path.substr(0, kReviewPrefix.size()) == kReviewPrefix) {
        ServeReviews(path.substr(kReviewPrefix.size()), response);
    } else if (path == "/" && options.pagesDir.empty()) {
        response.set_content(catalog.IndexPage(), kHtml);
    } else {
        ServeNotFound(path, response);
    }
}

void PortalServer::Impl::ServeListingOrDetail(PathKind kind, std::string_view name,
                                              const httplib::Request& request,
                                              httplib::Response& response) {
    if (ServeFault(kind, name, request, response)) {
        return;
    }
    if (kind == PathKind::Listing) {
        ServeListing(name, request, response);
    } else {
        ServeDetail(name, response);
    }
}

void PortalServer::Impl::ServeListing(std::string_view slug, const httplib::Request& request,
                                      httplib::Response& response) {
    int page = 1;
    if (const auto number = NumberAfter(request.get_param_value("page"), ""); number) {
        page = static_cast<int>(std::clamp<std::uint64_t>(*number, 1, 10000));
    }
    if (!options.pagesDir.empty()) {
        // Page 1 is <slug>.html, page N <slug>.N.html.
        const std::string file =
            std::string(slug) + (page > 1 ? "." + std::to_string(page) : std::string()) + ".html";
        ServeFixture(IsSafeName(slug) ? options.pagesDir / "listing" / file : fs::path(),
                     request.path, response);
        return;
    }
    const int prefecture = PrefectureOfSlug(slug);
    if (prefecture < 0) {
        ServeNotFound(request.path, response);
        return;
    }
    SetPage(response, catalog.ListingPage(prefecture, page));
}

void PortalServer::Impl::ServeDetail(std::string_view id, httplib::Response& response) {
    const std::string path = std::string(kDetailPrefix) + std::string(id);
    if (!options.pagesDir.empty()) {
        ServeFixture(
            IsSafeName(id) ? options.pagesDir / "detail" / (std::string(id) + ".html") : fs::path(),
            path, response);
        return;
    }
    const std::optional<GeneratedCourse> course = catalog.FindCourse(id);
    if (!course) {
        ServeNotFound(path, response);
        return;
    }
    SetPage(response, catalog.DetailPage(*course));
}

void PortalServer::Impl::ServeReviews(std::string_view id, httplib::Response& response) {
    const std::optional<GeneratedCourse> course =
        options.pagesDir.empty() ? catalog.FindCourse(id) : std::nullopt;
    if (!course) {
        ServeNotFound(std::string(kReviewPrefix) + std::string(id), response);
        return;
    }
    SetPage(response, catalog.ReviewPage(*course));
}

void PortalServer::Impl::ServeFixture(const fs::path& file, std::string_view path,
                                      httplib::Response& response) {
    WholeFileRead read;
    if (!file.empty()) {
        read = ReadWholeFile(file, kLargestFixturePage);
    }
    if (read.status != WholeFileRead::Status::Read) {
        ServeNotFound(path, response);
        return;
    }
    response.set_content(read.bytes, kHtml);
}

// The fault paths. Each stands for one way a server can misbehave, so that
// clients can be tested against it; see the README for the list.
bool PortalServer::Impl::ServeFault(PathKind kind, std::string_view name,
                                    const httplib::Request& request, httplib::Response& response) {
    if (name.substr(0, kFaultPrefix.size()) != kFaultPrefix) {
        return false;
    }
    if (const std::optional<BulkPageShape> bulk = FindBulkPage(name)) {
        // Made piece by piece as it goes out: a page of 256 MiB that a client
        // does not read must not hold 256 MiB.
        response.set_content_provider(
            bulk->size, kHtml,
            [shape = *bulk](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                std::string piece;
                shape.AppendBytes(offset, std::min(length, kWriteChunk), piece);
                return sink.write(piece.data(), piece.size());
            });
        return true;
    }
    const int socket = SocketOf(request);
    const std::string self = "127.0.0.1:" + std::to_string(port);
    if (name == "x-echo-agent") {
        response.set_content(request.get_header_value("User-Agent"), kText);
    } else if (name == "x-empty") {
        response.set_content("", kHtml);
    } else if (const auto length = NumberAfter(name, "x-bytes-"); length) {
        response.set_content_provider(static_cast<std::size_t>(*length), kOctets, WritePattern);
    } else if (const auto chunked = NumberAfter(name, "x-chunked-"); chunked) {
        const std::size_t total = static_cast<std::size_t>(*chunked);
        response.set_chunked_content_provider(kOctets,
                                              [total](std::size_t offset, httplib::DataSink& sink) {
                                                  if (offset >= total) {
                                                      sink.done();
                                                      return true;
                                                  }
                                                  return WritePattern(offset, total - offset, sink);
                                              });
    } else if (name == "x-zero") {
        std::string body(kZeroBodyLength, '\0');
        for (std::size_t i = 0; i < body.size(); ++i) {
            body[i] = static_cast<char>(i % 256);
        }
        response.set_content(body, kOctets);
    } else if (const auto status = NumberAfter(name, "x-status-");
               status && *status >= 200 && *status <= 599) {
        response.status = static_cast<int>(*status);
        response.set_content(*status >= 500 ? ServerErrorPage() : NotFoundPage(request.path),
                             kHtml);
    } else if (name == "x-stall-head") {
        // No answer ever comes: when the stall ends the connection is dropped.
        Stall(socket);
        ResetConnection(socket);
        response.status = 503;
    } else if (name == "x-not-http") {
        // Bytes without a status line (an HTTP/0.9 answer), then the end.
        constexpr std::string_view kNoStatusLine = "<html><body>no status line</body></html>\n";
        if (request.ssl != nullptr) {
            SSL_write(const_cast<SSL*>(request.ssl), kNoStatusLine.data(),
                      static_cast<int>(kNoStatusLine.size()));
        }
        CloseConnection(socket);
        response.status = 503;
    } else if (name == "x-close-reused") {
        const ConnectionTally* connection = TallyOf(request);
        if (connection != nullptr && connection->requests > 1) {
            CloseConnection(socket);
            response.status = 503;
        } else {
            response.set_content("<html><body><p>a new connection</p></body></html>\n", kHtml);
        }
    } else if (name == "x-stall-body" || name == "x-reset" || name == "x-truncate") {
        ServeBrokenBody(std::string(name), socket, response);
    } else if (const std::optional<FlakyFault> flaky = FlakyFault::Parse(name); flaky) {
        ServeFlaky(kind, *flaky, request, response);
    } else if (name == "x-trickle") {
        // Paced like a stall, on a worker that may be held; beyond them the
        // bytes go out at once.
        auto held = std::make_shared<const HeldWorker>(server->HoldWorker());
        response.set_content_provider(
            kTrickleBytes, kText,
            [this, held](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset > 0 && *held && !Pause(kTricklePause)) {
                    return false;
                }
                return sink.write(kBytePattern.data() + offset % kBytePattern.size(), 1);
            });
    } else if (name == "x-redirect-http") {
        response.set_redirect("http://" + self + std::string(kDetailPrefix) + "x-bytes-100");
    } else if (name == "x-redirect-https") {
        response.set_redirect("https://" + self + std::string(kDetailPrefix) + "x-bytes-1000");
    } else if (name == "x-redirect-loop") {
        response.set_redirect("https://" + self + request.path);
    } else {
        ServeNotFound(request.path, response);
    }
    return true;
}

// Headers announcing kBrokenBodyLength bytes, kBrokenBodySent of them, then
// what `kind` says: x-stall-body stalls, x-reset resets the connection,
// x-truncate closes it.
void PortalServer::Impl::ServeBrokenBody(const std::string& kind, int socket,
                                         httplib::Response& response) {
    response.set_content_provider(
        kBrokenBodyLength, kOctets,
        [this, kind, socket](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset < kBrokenBodySent) {
                return WritePattern(offset, kBrokenBodySent - offset, sink);
            }
            if (kind == "x-stall-body") {
                Stall(socket);
            } else if (kind == "x-reset") {
                ResetConnection(socket);
            }
            return false;
        });
}

void PortalServer::Impl::ServeFlaky(PathKind kind, const FlakyFault& flaky,
                                    const httplib::Request& request, httplib::Response& response) {
    if (!FlakyRequestFails(request.path, flaky.failures)) {
        if (flaky.rest.empty()) {
            response.set_content("<html><body><p>" + request.path + "</p></body></html>\n", kHtml);
        } else {
            ServeListingOrDetail(kind, flaky.rest, request, response);
        }
        return;
    }
    if (flaky.status != 0) {
        response.status = flaky.status;
        response.set_content(flaky.status >= 500 ? ServerErrorPage() : NotFoundPage(request.path),
                             kHtml);
        if (!flaky.retryAfterSeconds.empty()) {
            response.set_header("Retry-After", flaky.retryAfterSeconds);
        } else if (flaky.retryAtSeconds) {
            response.set_header("Retry-After",
                                HttpDate(std::chrono::system_clock::now() +
                                         std::chrono::seconds(*flaky.retryAtSeconds)));
        }
    } else if (flaky.fault == "stall") {
        const int socket = SocketOf(request);
        Stall(socket);
        ResetConnection(socket);
        response.status = 503;
    } else {
        ServeBrokenBody("x-" + flaky.fault, SocketOf(request), response);
    }
}

ParseOutcome ParsePortalOptions(const std::vector<std::string>& args, PortalOptions& options,
                                std::string& error) {
    const auto number = [&](const std::string& flag, const std::string& text, std::uint64_t max,
                            std::uint64_t& value) {
        const auto parsed = NumberAfter(text, "");
        if (!parsed || *parsed > max) {
            error = flag + " needs a number from 0 to " + std::to_string(max) + ", not \"" + text +
                    "\"";
            return false;
        }
        value = *parsed;
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& flag = args[i];
        if (flag == "--help" || flag == "-h") {
            return ParseOutcome::Help;
        }
        if (flag == "--stop-on-stdin-eof") {
            options.stopOnStdinEof = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = flag.rfind("--", 0) == 0 ? flag + " needs a value"
                                             : "unknown argument \"" + flag + "\"";
            return ParseOutcome::Error;
        }
        const std::string& value = args[++i];
        std::uint64_t n = 0;
        if (flag == "--port") {
            if (!number(flag, value, 65535, n)) {
                return ParseOutcome::Error;
            }
            options.port = static_cast<int>(n);
        } else if (flag == "--tls-dir") {
            options.tlsDir = value;
        } else if (flag == "--pages") {
            options.pagesDir = value;
        } else if (flag == "--request-log") {
            options.requestLog = value;
        } else if (flag == "--courses-per-prefecture") {
            if (!number(flag, value, 999, n)) {
                return ParseOutcome::Error;
            }
            options.catalog.coursesPerPrefecture = static_cast<int>(n);
        } else if (flag == "--seed") {
            if (!number(flag, value, UINT64_MAX, n)) {
                return ParseOutcome::Error;
            }
            options.catalog.seed = n;
        } else if (flag == "--stall-seconds") {
            if (!number(flag, value, 86400, n)) {
                return ParseOutcome::Error;
            }
            options.stallLimit = std::chrono::seconds(n);
        } else if (flag == "--keep-alive-requests") {
            if (!number(flag, value, 1'000'000, n) || n == 0) {
                error =
                    "--keep-alive-requests needs a number from 1 to 1000000, not \"" + value + "\"";
                return ParseOutcome::Error;
            }
            options.keepAliveRequests = n;
        } else if (flag == "--keep-alive-seconds") {
            if (!number(flag, value, 3600, n) || n == 0) {
                error = "--keep-alive-seconds needs a number from 1 to 3600, not \"" + value + "\"";
                return ParseOutcome::Error;
            }
            options.keepAliveIdle = std::chrono::seconds(n);
        } else {
            error = "unknown argument \"" + flag + "\"";
            return ParseOutcome::Error;
        }
    }
    if (!options.pagesDir.empty() && !fs::is_directory(options.pagesDir)) {
        error = "--pages: " + options.pagesDir.string() + " is not a folder";
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

std::string PortalUsage() {
    return "usage: teebasket-portal [--port N] [--tls-dir DIR] [--pages DIR]\n"
           "                        [--courses-per-prefecture K] [--seed S]\n"
           "                        [--request-log FILE] [--stall-seconds S]\n"
           "                        [--keep-alive-requests N] [--keep-alive-seconds S]\n"
           "                        [--stop-on-stdin-eof]\n"
           "\n"
           "A demo HTTPS portal on 127.0.0.1 (default port 48443; 0 picks a free one).\n"
           "  --tls-dir DIR    cert.pem and key.pem, made when missing\n"
           "                   (default ~/.local/share/teebasket-portal/tls)\n"
           "  --pages DIR      serve DIR/listing/<slug>.html and DIR/detail/<id>.html\n"
           "                   instead of generated pages\n"
           "  --courses-per-prefecture K   generated courses per prefecture (default 20)\n"
           "  --seed S         seed of the generated data (default 1)\n"
           "  --request-log FILE   append \"METHOD<TAB>TARGET<TAB>USER-AGENT<TAB>CONNECTION\"\n"
           "                       per request (CONNECTION: the connection's number, from 1)\n"
           "  --stall-seconds S    longest a stalling fault path holds a request (default 600)\n"
           "  --keep-alive-requests N  close a connection after N requests (default 1000)\n"
           "  --keep-alive-seconds S   close a connection idle for S seconds (default 5)\n"
           "  --stop-on-stdin-eof  stop when standard input ends (its starter has gone)\n"
           "The first line on standard output is \"listening on https://127.0.0.1:PORT\".\n"
           "Serves until SIGINT or SIGTERM.\n";
}

std::vector<std::string> FaultPathNames() {
    std::vector<std::string> names = {"x-echo-agent",     "x-empty",         "x-bytes-N",
                                      "x-chunked-N",      "x-zero",          "x-status-N",
                                      "x-stall-head",     "x-stall-body",    "x-trickle",
                                      "x-reset",          "x-truncate",      "x-redirect-http",
                                      "x-redirect-https", "x-redirect-loop", "x-flaky-K-FAULT",
                                      "x-close-reused",   "x-not-http"};
    names.insert(names.end(), kBulkPageNames.begin(), kBulkPageNames.end());
    return names;
}

PortalServer::PortalServer(PortalOptions options, const TlsFiles& tls)
    : impl_(std::make_unique<Impl>(std::move(options), tls)) {}

PortalServer::~PortalServer() = default;

bool PortalServer::Bind(std::string& error) {
    Impl& impl = *impl_;
    if (!impl.options.requestLog.empty()) {
        impl.log.open(impl.options.requestLog, std::ios::app | std::ios::binary);
        if (!impl.log) {
            error = "cannot open the request log " + impl.options.requestLog.string();
            return false;
        }
    }
    impl.server = std::make_unique<GuardedServer>(impl.tls.certificate.c_str(),
                                                  impl.tls.privateKey.c_str(), ConnectionLimits{});
    if (!impl.server->is_valid()) {
        error = "cannot load the certificate " + impl.tls.certificate.string() + " and key " +
                impl.tls.privateKey.string();
        return false;
    }
    impl.server->set_keep_alive_max_count(impl.options.keepAliveRequests);
    impl.server->set_keep_alive_timeout(impl.options.keepAliveIdle.count());
    // Headers and body go out as they are written, not held back until the
    // client acknowledges the previous segment (which a client delays by up
    // to 40 ms): on a kept-alive connection every answer would wait so.
    impl.server->set_tcp_nodelay(true);
    // SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which
    // would let a second portal share the port instead of failing to start.
    impl.server->set_socket_options([](int socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    impl.server->Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        impl.Handle(request, response);
    });
    if (impl.options.port == 0) {
        impl.port = impl.server->bind_to_any_port("127.0.0.1");
    } else {
        impl.port =
            impl.server->bind_to_port("127.0.0.1", impl.options.port) ? impl.options.port : -1;
    }
    if (impl.port <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(impl.options.port) +
                " (is the port in use?)";
        return false;
    }
    impl.server->WidenBacklog();
    return true;
}

int PortalServer::Port() const {
    return impl_->port;
}

bool PortalServer::Serve() {
    return impl_->server->listen_after_bind();
}

void PortalServer::Stop() {
    {
        std::lock_guard lock(impl_->stopMutex);
        impl_->stopping = true;
    }
    impl_->stopWake.notify_all();
    if (impl_->server) {
        impl_->server->stop();
    }
}

}  // namespace teebasket::portal
