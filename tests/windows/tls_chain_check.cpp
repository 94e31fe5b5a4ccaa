// The Windows build's HTTPS chain end to end: this program, cross-built with
// the static Schannel libcurl, fetches the front page of a native
// teebasket-portal under Wine and trusts it only through the portal's own
// certificate file (CURLOPT_CAINFO), as teebasket-cli does with --ca-cert.
// Exit code 0 when the page arrives whole; the reason on stderr otherwise.
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "tls_chain_check: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main() {
    const char* host = std::getenv("TEEBASKET_TEST_PORTAL_HOST");
    const char* certificate = std::getenv("TEEBASKET_TEST_PORTAL_CERT");
    if (host == nullptr || certificate == nullptr) {
        return Fail("run me through tests/windows/with-native-portal");
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return Fail("curl_global_init failed");
    }
    const curl_version_info_data* version = curl_version_info(CURLVERSION_NOW);
    if (version->ssl_version == nullptr || std::string(version->ssl_version) != "Schannel") {
        return Fail("libcurl is not built with Schannel");
    }

    CURL* handle = curl_easy_init();
    const std::string url = std::string("https://") + host + "/";
    std::string body;
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_CAINFO, certificate);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_off_t announced = -1;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    curl_easy_cleanup(handle);
    curl_global_cleanup();

    if (result != CURLE_OK) {
        return Fail(url + ": " + curl_easy_strerror(result) + ": " + error);
    }
    if (status != 200) {
        return Fail(url + ": HTTP " + std::to_string(status));
    }
    if (body.empty() || (announced >= 0 && static_cast<curl_off_t>(body.size()) != announced)) {
        return Fail(url + ": " + std::to_string(body.size()) + " bytes of " +
                    std::to_string(announced));
    }
    if (body.find("</html>") == std::string::npos) {
        return Fail(url + ": not a whole HTML page");
    }
    std::printf("%s: %zu bytes over %s\n", url.c_str(), body.size(), version->ssl_version);
    return 0;
}
