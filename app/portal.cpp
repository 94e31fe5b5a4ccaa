// The portal a run reads: how the idle window names it, and the connection
// test of the dialog "接続先の設定".
#include <algorithm>
#include <cctype>

#include "SystemText.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

// The host of "host", "host:port", "[address]" or "[address]:port".
std::string HostName(const std::string& host) {
    if (host.starts_with('[')) {
        const std::size_t close = host.find(']');
        return close == std::string::npos ? host.substr(1) : host.substr(1, close - 1);
    }
    const std::size_t colon = host.find(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

bool IsIpv4Loopback(const std::string& name) {
    if (!name.starts_with("127.")) {
        return false;
    }
    int parts = 0;
    std::size_t begin = 0;
    while (begin <= name.size()) {
        const std::size_t end = std::min(name.find('.', begin), name.size());
        const std::string part = name.substr(begin, end - begin);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        begin = end + 1;
    }
    return parts == 4;
}

}  // namespace

bool IsLoopbackHost(const std::string& host) {
    std::string name = HostName(host);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "localhost" || name == "::1" || IsIpv4Loopback(name);
}

bool IsDemoPortal(const PortalSettings& portal, const PortalSettings& defaults) {
    return portal.listingHost == defaults.listingHost &&
           portal.bookingHost == defaults.bookingHost && IsLoopbackHost(portal.listingHost) &&
           IsLoopbackHost(portal.bookingHost);
}

QString PortalStatusText(const PortalSettings& portal, const PortalSettings& defaults) {
    return kStatusPortal.arg(IsDemoPortal(portal, defaults)
                                 ? kDemoPortal
                                 : QString::fromStdString(PrintableText(portal.listingHost)));
}

TConnectionTest TestPortalConnection(const PortalSettings& portal, int row,
                                     const std::filesystem::path& scratchPath, FetchOptions options,
                                     const FetchStop* stop) {
    TConnectionTest test;
    test.hostProblem = PortalHostProblem(portal.listingHost);
    if (!test.hostProblem.empty()) {
        return test;
    }
    test.url = ListingUrl(portal, PrefectureSlug(row), 1);
    options.caCertificateFile = portal.caCertificate;
    FetchSession session;
    UserAgentGenerator agents;
    test.fetch = session.Fetch(test.url, scratchPath, agents, options, stop);
    if (test.fetch.Stored() && test.fetch.httpStatus >= 200 && test.fetch.httpStatus < 300) {
        PageText page;
        if (LoadPage(scratchPath, page)) {
            const StopFlag never;
            test.courses = static_cast<int>(ScanListingCards(page, never).size());
        }
    }
    std::error_code ignored;
    std::filesystem::remove(scratchPath, ignored);
    return test;
}

}  // namespace teebasket
