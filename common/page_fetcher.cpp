// PageFetcher over libcurl: one easy handle per call, HTTPS only, certificate
// checks always on, and a scratch file that holds either the whole body of
// this call or nothing.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
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

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

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

FetchResult Failure(FetchStatus status, std::string reason, long httpStatus = 0) {
    return FetchResult{status, httpStatus, 0, std::move(reason)};
}

// The reason the address cannot be fetched, or nothing when it is an https
// address with a host.
std::optional<std::string> UrlProblem(const std::string& url) {
    if (url.empty()) {
        return "empty address";
    }
    UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return "malformed address: " + url;
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
        return "not an https address: " + url;
    }
    if (host == nullptr || *host == '\0') {
        return "address without a host: " + url;
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
    std::string location;  // Location header of the latest answer, for messages
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

std::size_t ReceiveHeader(char* data, std::size_t, std::size_t size, void* context) {
    Transfer& transfer = *static_cast<Transfer*>(context);
    constexpr std::string_view kLocation = "location:";
    std::string_view line(data, size);
    if (line.size() > kLocation.size() &&
        std::equal(kLocation.begin(), kLocation.end(), line.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        line.remove_prefix(kLocation.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
            line.remove_suffix(1);
        }
        transfer.location.assign(line);
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
    switch (code) {
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

FetchResult Classify(CURL* handle, CURLcode code, const Transfer& transfer,
                     const char* detailBuffer, const FetchOptions& options) {
    long httpStatus = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &httpStatus);
    const std::string detail = *detailBuffer != '\0' ? detailBuffer : curl_easy_strerror(code);

    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return Failure(FetchStatus::TooLarge,
                       "the page is larger than " + std::to_string(options.maxBodyBytes) + " bytes",
                       httpStatus);
    }
    if (transfer.writeFailed) {
        return Failure(FetchStatus::ScratchNotWritten, "cannot write the scratch file", httpStatus);
    }
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // The address itself was checked to be https, so this was a redirect.
            return Failure(FetchStatus::InsecureRedirect,
                           "refused a redirect to a non-https address: " + transfer.location,
                           httpStatus);
        }
        case CURLE_URL_MALFORMAT:
            return Failure(FetchStatus::InvalidUrl, "malformed address: " + detail, httpStatus);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return Failure(FetchStatus::Unreachable, "cannot reach the portal: " + detail,
                           httpStatus);
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connectTime = 0;
            curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
            if (connectTime == 0) {
                return Failure(FetchStatus::Unreachable, "cannot reach the portal: " + detail,
                               httpStatus);
            }
            return Failure(FetchStatus::TimedOut, "the portal stopped answering: " + detail,
                           httpStatus);
        }
        default:
            break;
    }
    if (IsTlsError(code)) {
        std::string reason = "the secure connection failed: " + detail;
        if (!options.caCertificateFile.empty() && !fs::exists(options.caCertificateFile)) {
            reason += " (the trusted certificate file " + options.caCertificateFile.string() +
                      " does not exist)";
        }
        return Failure(FetchStatus::TlsFailed, reason, httpStatus);
    }
    return Failure(FetchStatus::TransferFailed, "the download broke off: " + detail, httpStatus);
}

FetchResult Download(const std::string& url, const fs::path& scratchPath, std::string_view agent,
                     const FetchOptions& options) {
    if (const std::optional<std::string> problem = UrlProblem(url); problem) {
        return Failure(FetchStatus::InvalidUrl, *problem);
    }
    ScratchWriter writer(scratchPath);
    std::string error;
    if (!writer.Open(error)) {
        return Failure(FetchStatus::ScratchNotWritten, error);
    }
    if (!CurlReady()) {
        return Failure(FetchStatus::TransferFailed, "the HTTP client could not be initialised");
    }
    EasyHandle handle(curl_easy_init());
    if (!handle) {
        return Failure(FetchStatus::TransferFailed, "the HTTP client could not be initialised");
    }
    Transfer transfer{writer, options.maxBodyBytes};
    char detail[CURL_ERROR_SIZE] = {};
    std::string caBundle;
    if (!Configure(handle.get(), url, agent, options, transfer, detail, caBundle)) {
        return Failure(FetchStatus::TransferFailed,
                       "the HTTP client lacks a required option (HTTPS-only transfers)");
    }
    const CURLcode code = curl_easy_perform(handle.get());
    if (code != CURLE_OK) {
        return Classify(handle.get(), code, transfer, detail, options);
    }
    long httpStatus = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    if (!writer.Commit(error)) {
        return Failure(FetchStatus::ScratchNotWritten, error, httpStatus);
    }
    return FetchResult{FetchStatus::Stored, httpStatus, transfer.received, {}};
}

}  // namespace

FetchResult PageFetcher(const std::string& url, const fs::path& scratchPath,
                        UserAgentGenerator& agents, const FetchOptions& options) {
    // The agent is drawn first, whatever happens next, so the sequence of
    // agents never depends on which calls fail.
    const std::string_view agent = UserAgentTable[agents.NextIndex()];
    FetchResult result = Download(url, scratchPath, agent, options);
    if (!result.Stored()) {
        RemoveScratchFile(scratchPath);
    }
    return result;
}

}  // namespace teebasket
