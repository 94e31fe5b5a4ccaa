// The prefecture listing crawl: course identifiers out of the course cards.
#include "MECSUtils.h"
#include "harvest_steps.h"

namespace teebasket {
namespace {

// The identifier in a card's link line (raw UTF-8), such as 120012 in
// <a href="/x/c_id/120012/?rt=1">: what follows the first "_" and precedes the
// next "?", without "id" and "/". Returns false when the line has no "_" or no
// "?" behind it.
bool CutCourseId(std::string_view linkLine, std::string& courseId) {
    const std::string text = UTF8ToAnsi(TextTrimView(linkLine));
    const std::size_t underscore = TextFind(text, "_");
    if (underscore == 0) {
        return false;
    }
    const std::string_view behind = std::string_view(text).substr(underscore);
    const std::size_t question = TextFind(behind, "?");
    if (question == 0) {
        return false;
    }
    courseId = TextTrim(TextRemove(TextRemove(behind.substr(0, question - 1), "id"), "/"));
    return true;
}

bool IsCardHeading(std::string_view line) {
    return HasPrefix(TextTrimView(line), "<h2") && TextFind(line, "gf-card-name") != 0;
}

// The card scan over any reader of lines (LineCursor or LineListCursor): a
// card heading line, then the card's link line.
template <typename Lines>
std::vector<std::string> ScanCards(Lines lines, const StopFlag& stop) {
    std::vector<std::string> courseIds;
    std::string_view line;
    bool hasLine = lines.Next(line);
    while (hasLine) {
        std::string_view next;
        const bool hasNext = lines.Next(next);
        std::string courseId;
        if (hasNext && IsCardHeading(line) && CutCourseId(next, courseId)) {
            courseIds.push_back(std::move(courseId));
        }
        if (stop.Requested()) {
            break;
        }
        line = next;
        hasLine = hasNext;
    }
    return courseIds;
}

}  // namespace

std::string ListingUrl(const PortalSettings& portal, const std::string& slug) {
    return "https://" + portal.listingHost + "/doc/area/" + slug + "/?sort=kana&page=1";
}

std::vector<std::string> ScanListingCards(const PageText& page, const StopFlag& stop) {
    return ScanCards(page.Lines(), stop);
}

std::vector<std::string> ScanListingCards(const std::vector<std::string>& lines,
                                          const StopFlag& stop) {
    return ScanCards(LineListCursor(lines), stop);
}

void CrawlPrefecture(HarvestContext& context, const std::string& slug) {
    HarvestRun& run = context.run;
    run.courseTotal = 0;
    run.courseIndex = 0;
    const PageText lines = detail::FetchPageLines(
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
