// FetchSession over libcurl: one easy handle and one multi handle kept for the
// session, so that libcurl's connection cache (held by the multi handle) keeps
// a host's connection open from one download to the next. Every download
// resets the easy handle and sets each of its options again. HTTPS only,
// certificate checks always on, a stop that ends a download at once, and a
// scratch file that holds either the whole body of this call or nothing.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>

#include "Unicommon.h"
#include "scratch_file.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;

constexpr long kMaxRedirects = 10;
// How often a download in progress looks at the caller's stop request.
constexpr int kStopCheckIntervalMs = 100;

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct MultiCleanup {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

struct UrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlCleanup>;

struct CurlTextFree {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextFree>;

// libcurl's global state is set up once per process, before the first handle.
bool CurlReady() {
    static std::once_flag once;
    static CURLcode initResult = CURLE_FAILED_INIT;
    std::call_once(once, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return initResult == CURLE_OK;
}

FetchResult Failure(FetchStatus status, FetchError error, std::string detail, long httpStatus = 0) {
    FetchResult result;
    result.status = status;
    result.error = error;
    result.httpStatus = httpStatus;
    result.detail = std::move(detail);
    return result;
}

// The address when it cannot be fetched (empty, malformed, not https, without
// a host), or nothing when it is an https address with a host.
std::optional<std::string> UrlProblem(const std::string& url) {
    if (url.empty()) {
        return "";
    }
    UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return url;
    }
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
    CurlText schemeText(scheme);
    curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0);
    CurlText hostText(host);
    std::string lowerScheme = scheme != nullptr ? scheme : "";
    std::transform(lowerScheme.begin(), lowerScheme.end(), lowerScheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lowerScheme != "https") {
        return url;
    }
    if (host == nullptr || *host == '\0') {
        return url;
    }
    return std::nullopt;
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return std::move(bytes).str();
}

// Trusts `extraCertificates` in addition to the system's store. libcurl with
// OpenSSL reads both its CA file and its CA folder; the system store stays
// trusted through the built-in folder when there is one, otherwise the
// built-in bundle and the extra file are handed over together.
void TrustExtraCertificates(CURL* handle, const fs::path& extraCertificates, std::string& bundle) {
    char* defaultFolder = nullptr;
    char* defaultBundle = nullptr;
    curl_easy_getinfo(handle, CURLINFO_CAPATH, &defaultFolder);
    curl_easy_getinfo(handle, CURLINFO_CAINFO, &defaultBundle);
    if ((defaultFolder != nullptr && *defaultFolder != '\0') || defaultBundle == nullptr ||
        *defaultBundle == '\0') {
        curl_easy_setopt(handle, CURLOPT_CAINFO, extraCertificates.string().c_str());
        return;
    }
    bundle = ReadWhole(defaultBundle);
    bundle += '\n';
    bundle += ReadWhole(extraCertificates);
    curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
}

struct Transfer {
    Transfer(ScratchWriter& w, std::size_t limit) : writer(w), maxBytes(limit) {}

    ScratchWriter& writer;
    std::size_t maxBytes;
    std::size_t received = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    // Headers of the latest answer (a redirect's answer is replaced by the
    // next one's).
    std::string location;  // for messages
    std::string retryAfter;
};

std::size_t ReceiveBody(char* data, std::size_t, std::size_t size, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    if (size > transfer.maxBytes - transfer.received) {
        transfer.tooLarge = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    if (!transfer.writer.Write(data, size)) {
        transfer.writeFailed = true;
        return 0;
    }
    transfer.received += size;
    return size;
}

// The value of `line` when it is the header `name` (lower case, with its
// colon), without surrounding blanks and line end.
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() ||
        !std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        return std::nullopt;
    }
    line.remove_prefix(name.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' ||
                             line.back() == '\t')) {
        line.remove_suffix(1);
    }
    return line;
}

std::size_t ReceiveHeader(char* data, std::size_t, std::size_t size, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::string_view line(data, size);
    if (line.substr(0, 5) == "HTTP/") {
        transfer.location.clear();
        transfer.retryAfter.clear();
    } else if (const auto location = HeaderValue(line, "location:"); location) {
        transfer.location.assign(*location);
    } else if (const auto retryAfter = HeaderValue(line, "retry-after:"); retryAfter) {
        transfer.retryAfter.assign(*retryAfter);
    }
    return size;
}

long WholeSecondsAtLeastOne(std::chrono::milliseconds duration) {
    return std::max<long>(1, static_cast<long>((duration.count() + 999) / 1000));
}

bool Configure(CURL* handle, const std::string& url, std::string_view agent,
               const FetchOptions& options, Transfer& transfer, char* errorBuffer,
               std::string& caBundle) {
    const std::string agentText(agent);
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && curl_easy_setopt(handle, option, value) == CURLE_OK;
    };
    set(CURLOPT_ERRORBUFFER, errorBuffer);
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_USERAGENT, agentText.c_str());
    set(CURLOPT_NOSIGNAL, 1L);
    // HTTPS only, also for every redirect.
    set(CURLOPT_PROTOCOLS_STR, "https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    // A direct connection: an empty proxy also overrides the proxy variables
    // of the environment.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOPROXY, "*");
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (options.connectTimeout.count() > 0) {
        set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    }
    if (options.totalTimeout.count() > 0) {
        set(CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
    }
    if (options.lowSpeedTime.count() > 0 && options.lowSpeedBytesPerSecond > 0) {
        set(CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytesPerSecond);
        set(CURLOPT_LOW_SPEED_TIME, WholeSecondsAtLeastOne(options.lowSpeedTime));
    }
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
    set(CURLOPT_WRITEFUNCTION, &ReceiveBody);
    set(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_HEADERFUNCTION, &ReceiveHeader);
    set(CURLOPT_HEADERDATA, &transfer);
    if (ok && !options.caCertificateFile.empty()) {
        std::error_code ec;
        if (fs::is_regular_file(options.caCertificateFile, ec)) {
            TrustExtraCertificates(handle, options.caCertificateFile, caBundle);
        }
    }
    return ok;
}

bool IsTlsError(CURLcode code) {
    switch (static_cast<int>(code)) {  // libcurl's codes: the others fall to default
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
            return true;
        default:
            return false;
    }
}

// Failures after which the same request may well succeed: the connection was
// refused, reset or cut short, or the server was too slow.
bool IsTransientError(CURLcode code) {
    switch (static_cast<int>(code)) {  // libcurl's codes: the others fall to default
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SSL_CONNECT_ERROR:  // also a reset during the handshake
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return true;
        default:
            return false;
    }
}

// True when the download got as far as the portal: a connection was made for
// it, or a kept one carried its request (a kept connection has no connect
// time of its own).
bool PortalReached(CURL* handle) {
    curl_off_t connectTime = 0;
    long requestBytes = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    curl_easy_getinfo(handle, CURLINFO_REQUEST_SIZE, &requestBytes);
    return connectTime > 0 || requestBytes > 0;
}

FetchResult ScratchFailure(const ScratchWriter& writer, std::string detail, long httpStatus) {
    FetchResult result = Failure(FetchStatus::ScratchNotWritten, FetchError::ScratchNotWritten,
                                 std::move(detail), httpStatus);
    result.systemError = writer.LastErrno();
    return result;
}

// A failed certificate check: for another name, or not signed by a trusted
// authority. libcurl gives one code for both; its text tells them apart
// (OpenSSL: "no alternative certificate subject name matches", "subject name
// ... does not match"; Schannel: "failed to match connection hostname").
FetchError CertificateProblem(std::string_view detail) {
    const bool nameMismatch = detail.find("subject name") != std::string_view::npos ||
                              detail.find("match connection hostname") != std::string_view::npos;
    return nameMismatch ? FetchError::NameMismatch : FetchError::CertificateNotTrusted;
}

FetchError TlsProblem(CURLcode code, std::string_view detail, const FetchOptions& options) {
    if (!options.caCertificateFile.empty()) {
        std::error_code ec;
        if (!fs::exists(options.caCertificateFile, ec)) {
            return FetchError::TrustedFileMissing;
        }
    }
    return code == CURLE_PEER_FAILED_VERIFICATION ? CertificateProblem(detail)
                                                  : FetchError::SecureConnectionFailed;
}

// True when `location` (a Location header) names a scheme other than https.
// A relative location keeps the scheme of the address it came with.
bool NamesAnotherScheme(std::string_view location) {
    const std::size_t colon = location.find(':');
    if (colon == std::string_view::npos || colon == 0 || location.find_first_of("/?#") < colon) {
        return false;
    }
    std::string scheme(location.substr(0, colon));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme != "https";
}

FetchResult ClassifyError(CURL* handle, CURLcode code, const Transfer& transfer,
                          const char* detailBuffer, const FetchOptions& options) {
    long httpStatus = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &httpStatus);
    const std::string detail = *detailBuffer != '\0' ? detailBuffer : curl_easy_strerror(code);

    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return Failure(FetchStatus::TooLarge, FetchError::PageTooLarge,
                       std::to_string(options.maxBodyBytes), httpStatus);
    }
    if (transfer.writeFailed) {
        return ScratchFailure(transfer.writer, "", httpStatus);
    }
    switch (static_cast<int>(code)) {  // libcurl's codes: the others fall to default
        case CURLE_UNSUPPORTED_PROTOCOL:
            // The address itself was checked to be https, so this was a
            // redirect; without one, the answer was not HTTP/1.x or later
            // (an HTTP/0.9 answer: bare bytes without a status line).
            if (!NamesAnotherScheme(transfer.location)) {
                return Failure(FetchStatus::TransferFailed, FetchError::BrokenAnswer, detail,
                               httpStatus);
            }
            return Failure(FetchStatus::InsecureRedirect, FetchError::InsecureRedirect,
                           transfer.location, httpStatus);
        case CURLE_URL_MALFORMAT:
            return Failure(FetchStatus::InvalidUrl, FetchError::InvalidAddress, detail, httpStatus);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Failure(FetchStatus::Unreachable, FetchError::HostNotFound, detail, httpStatus);
        case CURLE_COULDNT_CONNECT:
            return Failure(FetchStatus::Unreachable, FetchError::Refused, detail, httpStatus);
        case CURLE_OPERATION_TIMEDOUT:
            if (!PortalReached(handle)) {
                return Failure(FetchStatus::Unreachable, FetchError::ConnectTimedOut, detail,
                               httpStatus);
            }
            return Failure(FetchStatus::TimedOut, FetchError::TimedOut, detail, httpStatus);
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
            return Failure(FetchStatus::TransferFailed, FetchError::ConnectionReset, detail,
                           httpStatus);
        case CURLE_PARTIAL_FILE:
            return Failure(FetchStatus::TransferFailed, FetchError::BodyCutShort, detail,
                           httpStatus);
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return Failure(FetchStatus::TransferFailed, FetchError::BrokenAnswer, detail,
                           httpStatus);
        default:
            break;
    }
    if (IsTlsError(code)) {
        return Failure(FetchStatus::TlsFailed, TlsProblem(code, detail, options), detail,
                       httpStatus);
    }
    return Failure(FetchStatus::TransferFailed, FetchError::BrokenAnswer, detail, httpStatus);
}

FetchResult Classify(CURL* handle, CURLcode code, const Transfer& transfer,
                     const char* detailBuffer, const FetchOptions& options) {
    FetchResult result = ClassifyError(handle, code, transfer, detailBuffer, options);
    result.transient = !transfer.tooLarge && !transfer.writeFailed && IsTransientError(code);
    return result;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

struct FetchSession::Impl {
    // Declared first, so destroyed last: the easy handle goes before the
    // multi handle whose connection cache it used.
    MultiHandle multi;
    EasyHandle easy;
    // libcurl writes the detail of a failure here; it keeps the address for
    // as long as the option is set.
    char errorDetail[CURL_ERROR_SIZE] = {};
    // The system's bundle and the extra certificates in one, when they have
    // to be handed over together; the easy handle refers to it.
    std::string caBundle;

    bool HandlesReady();
    CURLcode PerformUnlessStopped(const FetchStop* stop, bool& stopped);
    FetchResult Download(const std::string& url, const fs::path& scratchPath,
                         std::string_view agent, const FetchOptions& options,
                         const FetchStop* stop);
};

// The handles are made on the first download, so that a session that never
// downloads costs nothing.
bool FetchSession::Impl::HandlesReady() {
    if (multi && easy) {
        return true;
    }
    if (!CurlReady()) {
        return false;
    }
    multi.reset(curl_multi_init());
    easy.reset(curl_easy_init());
    return multi && easy;
}

// curl_easy_perform, except that the transfer ends within
// kStopCheckIntervalMs of `stop` being requested; `stopped` then says so.
// The easy handle is in the multi handle only while it transfers; a transfer
// that did not finish leaves no connection behind for the next one.
CURLcode FetchSession::Impl::PerformUnlessStopped(const FetchStop* stop, bool& stopped) {
    if (curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_FAILED_INIT;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            break;
        }
        if (running == 0) {
            int queued = 0;
            while (const CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy.get()) {
                    result = message->data.result;
                }
            }
            break;
        }
        if (stop != nullptr && stop->StopRequested()) {
            stopped = true;
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, kStopCheckIntervalMs, nullptr) != CURLM_OK) {
            break;
        }
    }
    curl_multi_remove_handle(multi.get(), easy.get());
    return result;
}

FetchResult FetchSession::Impl::Download(const std::string& url, const fs::path& scratchPath,
                                         std::string_view agent, const FetchOptions& options,
                                         const FetchStop* stop) {
    if (const std::optional<std::string> problem = UrlProblem(url); problem) {
        return Failure(FetchStatus::InvalidUrl, FetchError::InvalidAddress, *problem);
    }
    if (stop != nullptr && stop->StopRequested()) {
        return Failure(FetchStatus::Stopped, FetchError::Stopped, {});
    }
    ScratchWriter writer(scratchPath);
    std::string error;
    if (!writer.Open(error)) {
        return ScratchFailure(writer, error, 0);
    }
    if (!HandlesReady()) {
        return Failure(FetchStatus::TransferFailed, FetchError::ClientFailed,
                       "curl_easy_init failed");
    }
    // Every option of the previous download is dropped; the connection cache,
    // the DNS cache and the TLS session cache stay.
    curl_easy_reset(easy.get());
    errorDetail[0] = '\0';
    Transfer transfer{writer, options.maxBodyBytes};
    if (!Configure(easy.get(), url, agent, options, transfer, errorDetail, caBundle)) {
        return Failure(FetchStatus::TransferFailed, FetchError::ClientFailed,
                       "an HTTPS-only option is not supported");
    }
    bool stopped = false;
    const CURLcode code = PerformUnlessStopped(stop, stopped);
    if (stopped) {
        return Failure(FetchStatus::Stopped, FetchError::Stopped, {});
    }
    if (code != CURLE_OK) {
        return Classify(easy.get(), code, transfer, errorDetail, options);
    }
    long httpStatus = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    if (!writer.Commit(error)) {
        return ScratchFailure(writer, error, httpStatus);
    }
    FetchResult result;
    result.status = FetchStatus::Stored;
    result.error = FetchError::None;
    result.httpStatus = httpStatus;
    result.bodyBytes = transfer.received;
    if (!transfer.retryAfter.empty()) {
        result.retryAfter = ParseRetryAfter(transfer.retryAfter, std::chrono::system_clock::now());
    }
    return result;
}

FetchSession::FetchSession() : impl_(std::make_unique<Impl>()) {}

FetchSession::~FetchSession() = default;

FetchResult FetchSession::Fetch(const std::string& url, const fs::path& scratchPath,
                                UserAgentGenerator& agents, const FetchOptions& options,
                                const FetchStop* stop) {
    // The agent is drawn first, whatever happens next, so the sequence of
    // agents never depends on which calls fail.
    const std::string_view agent = UserAgentTable[agents.NextIndex()];
    FetchResult result = impl_->Download(url, scratchPath, agent, options, stop);
    if (!result.Stored()) {
        RemoveScratchFile(scratchPath);
    }
    return result;
}

void FetchSession::Close() {
    impl_->easy.reset();
    impl_->multi.reset();
}

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    // Anything beyond a day is as good as a day; callers cap it far lower.
    constexpr std::uint64_t kDay = 86400;
    if (AllDigits(value)) {
        std::uint64_t seconds = 0;
        std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (value.size() > 10) {
            seconds = kDay;
        }
        return std::chrono::seconds(std::min(seconds, kDay));
    }
    if (value.empty()) {
        return std::nullopt;
    }
    const std::string text(value);
    const time_t date = curl_getdate(text.c_str(), nullptr);
    if (date == -1) {
        return std::nullopt;
    }
    // Compared in whole seconds first: a date after 2262 (or before 1678)
    // does not fit the clock's nanoseconds and would wrap around.
    const auto nowSeconds = std::chrono::floor<std::chrono::seconds>(now.time_since_epoch());
    const std::int64_t ahead = static_cast<std::int64_t>(date) - nowSeconds.count();
    if (ahead <= 0) {
        return std::chrono::seconds(0);
    }
    if (ahead >= static_cast<std::int64_t>(kDay)) {
        return std::chrono::seconds(kDay);
    }
    const auto wait = std::chrono::system_clock::from_time_t(date) - now;
    return std::chrono::ceil<std::chrono::seconds>(std::max(wait, decltype(wait)::zero()));
}

bool IsRetryableHttpStatus(long httpStatus) {
    switch (httpStatus) {
        case 408:
        case 425:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

}  // namespace teebasket
