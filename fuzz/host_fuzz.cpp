// Host validation. Input: a host value, a zero byte, a course identifier.
// A host that PortalHostProblem accepts yields addresses whose host and path
// are exactly the ones meant; a host that IsLoopbackHost calls local (and so
// may run without pauses) reaches this machine only.
#include <curl/curl.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "FuzzChecks.h"
#include "HarvestConfig.h"
#include "Unithread.h"

using namespace teebasket;

namespace {

bool IsLoopbackName(std::string host) {
    for (char& c : host) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (host == "localhost" || host == "[::1]" || host == "[0:0:0:0:0:0:0:1]") {
        return true;
    }
    // 127.0.0.0/8 written as four decimal numbers.
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    char end = 0;
    return std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) == 4 && a == 127 &&
           b < 256 && c < 256 && d < 256;
}

// A host (with or without ":port") made of numbers and dots only, the way
// IPv4 addresses may be shortened, in decimal, octal or hexadecimal.
bool IsShortIpv4(const std::string& host) {
    const std::string address = host.substr(0, host.rfind(':'));
    return !address.empty() &&
           address.find_first_not_of("0123456789.xXabcdefABCDEF") == std::string::npos &&
           std::isdigit(static_cast<unsigned char>(address.front()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts =
        fuzz::SplitAtZero(std::string(reinterpret_cast<const char*>(data), size), 2);
    const std::string& host = parts[0];
    const std::string id = parts.size() > 1 ? parts[1] : "120012";
    const bool loopback = IsLoopbackHost(host);
    if (!PortalHostProblem(host).empty()) {
        return 0;
    }
    PortalSettings portal;
    portal.listingHost = host;
    portal.bookingHost = host;

    const std::string listing = ListingUrl(portal, "tokyo");
    const fuzz::ParsedUrl parsed(curl_url());
    if (curl_url_set(parsed.get(), CURLUPART_URL, listing.c_str(), 0) != CURLUE_OK) {
        // PortalHostProblem checks only the characters between the brackets
        // of an IPv6 address; one that libcurl cannot read (such as "[:]")
        // fails each download as a malformed address, changing no request.
        fuzz::Require(host.starts_with("["), "libcurl refuses the address of an accepted host",
                      listing);
        return 0;
    }
    fuzz::Require(fuzz::UrlPart(parsed.get(), CURLUPART_PATH) == "/doc/area/tokyo/",
                  "an accepted host changes the listing path", listing);
    fuzz::Require(fuzz::UrlPart(parsed.get(), CURLUPART_QUERY) == "sort=kana&page=1",
                  "an accepted host changes the listing query", listing);
    fuzz::Require(!fuzz::UrlPart(parsed.get(), CURLUPART_USER) &&
                      !fuzz::UrlPart(parsed.get(), CURLUPART_FRAGMENT),
                  "an accepted host brings credentials or a fragment", listing);
    const std::optional<std::string> name = fuzz::UrlPart(parsed.get(), CURLUPART_HOST);
    fuzz::Require(name.has_value(), "no host in the listing address", listing);
    if (loopback) {
        fuzz::Require(IsLoopbackName(*name), "a host called local that is not", host);
    }
    const std::optional<std::string> port = fuzz::UrlPart(parsed.get(), CURLUPART_PORT);
    if (!fuzz::SameHostAndPort(host, *name, port)) {
        // libcurl writes the short forms of an IPv4 address ("127.1", a
        // single number) as four numbers, and an IPv6 address in its
        // shortest form; any other difference is not meant.
        fuzz::Require(IsShortIpv4(host) || host.starts_with("["),
                      "libcurl reads another host or port than written", listing);
        return 0;
    }
    fuzz::CheckDetailUrl(DetailUrl(portal, id), host, id);
    return 0;
}
