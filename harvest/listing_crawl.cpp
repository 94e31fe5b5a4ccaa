// The prefecture listing crawl: course identifiers out of the course cards.
#include "MECSUtils.h"
#include "harvest_steps.h"

namespace teebasket {
namespace {

// The identifier in a card's link line (raw UTF-8), such as 120012 in
// <a href="/x/c_id/120012/?rt=1">: what follows the first "_" and precedes the
// next "?", without "id" and "/". Returns false when the line has no "_" or no
// "?" behind it.
bool CutCourseId(const std::string& linkLine, std::string& courseId) {
    std::string text = UTF8ToAnsi(TextTrim(linkLine));
    const std::size_t underscore = TextFind(text, "_");
    if (underscore == 0) {
        return false;
    }
    text.erase(0, underscore);
    const std::size_t question = TextFind(text, "?");
    if (question == 0) {
        return false;
    }
    text.resize(question - 1);
    courseId = TextTrim(TextRemove(TextRemove(text, "id"), "/"));
    return true;
}

bool IsCardHeading(const std::string& line) {
    return HasPrefix(TextTrimView(line), "<h2") && TextFind(line, "gf-card-name") != 0;
}

}  // namespace

std::string ListingUrl(const PortalSettings& portal, const std::string& slug) {
    return "https://" + portal.listingHost + "/doc/area/" + slug + "/?sort=kana&page=1";
}

std::vector<std::string> ScanListingCards(const std::vector<std::string>& lines,
                                          const StopFlag& stop) {
    std::vector<std::string> courseIds;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string courseId;
        if (IsCardHeading(lines[i]) && i + 1 < lines.size() &&
            CutCourseId(lines[i + 1], courseId)) {
            courseIds.push_back(std::move(courseId));
        }
        if (stop.Requested()) {
            break;
        }
    }
    return courseIds;
}

void CrawlPrefecture(HarvestContext& context, const std::string& slug) {
    HarvestRun& run = context.run;
    run.courseTotal = 0;
    run.courseIndex = 0;
    const std::vector<std::string> lines = detail::FetchPageLines(
        context, ListingUrl(context.settings.portal, slug), context.settings.pauses.afterListing);
    const std::vector<std::string> courseIds = ScanListingCards(lines, run.stop);
    if (courseIds.empty() || run.stop.Requested()) {
        context.observer.StatusUpdate(run);
        return;
    }
    run.courseTotal = static_cast<int>(courseIds.size());
    for (const std::string& courseId : courseIds) {
        ++run.courseIndex;
        context.observer.StatusUpdate(run);
        ExtractCourseDetail(context, courseId);
        if (run.courseIndex == run.courseTotal || run.stop.Requested()) {
            break;
        }
    }
}

}  // namespace teebasket
