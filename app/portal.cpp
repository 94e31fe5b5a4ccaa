// The portal a run reads: how the idle window names it, and the connection
// test of the dialog "接続先の設定".
#include <QRegularExpression>

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

namespace {

// Downloads `url` into `scratchPath` as a run would.
TConnectionProbe Probe(std::string url, const std::filesystem::path& scratchPath,
                       const FetchOptions& options, const FetchStop* stop) {
    TConnectionProbe probe;
    probe.url = std::move(url);
    FetchSession session;
    UserAgentGenerator agents;
    probe.fetch = session.Fetch(probe.url, scratchPath, agents, options, stop);
    return probe;
}

// The course identifiers on a listing page that was read.
std::vector<std::string> CoursesOnPage(const std::filesystem::path& scratchPath) {
    PageText page;
    if (!LoadPage(scratchPath, page)) {
        return {};
    }
    const StopFlag never;
    return ScanListingCards(page, never);
}

}  // namespace

TConnectionTest TestPortalConnection(const PortalSettings& portal, int row,
                                     const std::filesystem::path& scratchPath, FetchOptions options,
                                     const FetchStop* stop) {
    TConnectionTest test;
    test.hostProblem = PortalSettingsProblem(portal);
    if (!test.hostProblem.empty()) {
        return test;
    }
    options.caCertificateFile = portal.caCertificate;
    test.listing = Probe(ListingUrl(portal, PrefectureSlug(row), 1), scratchPath, options, stop);
    if (test.listing.Read()) {
        const std::vector<std::string> courses = CoursesOnPage(scratchPath);
        test.courses = static_cast<int>(courses.size());
        if (!courses.empty()) {
            test.detail = Probe(DetailUrl(portal, courses.front()), scratchPath, options, stop);
        }
    }
    std::error_code ignored;
    std::filesystem::remove(scratchPath, ignored);
    return test;
}

QString HostOfPastedAddress(const QString& typed) {
    const QString text = typed.trimmed();
    static const QString kHttps = QStringLiteral("https://");
    if (!text.startsWith(kHttps, Qt::CaseInsensitive)) {
        return typed;
    }
    const QString rest = text.mid(kHttps.size());
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[/?#]")));
    const QString host = end < 0 ? rest : rest.left(end);
    // An address without a host is no host: it is refused as typed.
    return host.isEmpty() ? typed : host;
}

}  // namespace teebasket
