// The portal a run reads: how the idle window names it, and the connection
// test of the dialog "接続先の設定".
#include "SystemText.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

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
