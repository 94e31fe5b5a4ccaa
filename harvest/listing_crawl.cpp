// The prefecture listing crawl: course identifiers out of the course cards.
#include <string_view>
#include <unordered_set>

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

// True when `address` has the query parameter "page=<number>".
bool HasPageParameter(std::string_view address, std::string_view number) {
    constexpr std::string_view kName = "page=";
    for (std::size_t at = address.find(kName); at != std::string_view::npos;
         at = address.find(kName, at + 1)) {
        // After "?", "&" or the ";" of "&amp;"; the whole number, not its start.
        const char before = at > 0 ? address[at - 1] : '\0';
        const std::size_t end = at + kName.size() + number.size();
        const bool delimited = before == '?' || before == '&' || before == ';';
        const bool wholeNumber = end >= address.size() || address[end] < '0' || address[end] > '9';
        if (delimited && wholeNumber &&
            address.substr(at + kName.size(), number.size()) == number) {
            return true;
        }
    }
    return false;
}

// The cards of `found` that are not among `known` yet, appended to `known`;
// false when there is none. A card repeated within one page is kept, as it
// always has been on a first page.
bool AppendNewCards(std::vector<std::string>& known, std::vector<std::string> found) {
    const std::unordered_set<std::string> earlier(known.begin(), known.end());
    const std::size_t before = known.size();
    for (std::string& courseId : found) {
        if (earlier.count(courseId) == 0) {
            known.push_back(std::move(courseId));
        }
    }
    return known.size() > before;
}

// The course identifiers of every listing page of `slug`, in page order.
std::vector<std::string> CollectCourseIds(HarvestContext& context, const std::string& slug) {
    HarvestRun& run = context.run;
    std::vector<std::string> courseIds;
    for (int page = 1; page <= kMaxListingPages; ++page) {
        const std::string url = ListingUrl(context.settings.portal, slug, page);
        const detail::PageRead read =
            detail::ReadPage(context, url, context.settings.pauses.afterListing);
        if (read.outcome == detail::PageRead::Outcome::NoPage) {
            detail::NotePageFailure(run, PageKind::Listing, run.currentPrefecture, url, read, 0);
        }
        if (read.outcome != detail::PageRead::Outcome::Page) {
            break;
        }
        const bool added = AppendNewCards(courseIds, ScanListingCards(read.lines, run.stop));
        if (!added || run.stop.Requested() || !ListingLinksToPage(read.lines, slug, page + 1)) {
            break;
        }
    }
    return courseIds;
}

}  // namespace

std::string ListingUrl(const PortalSettings& portal, const std::string& slug, int page) {
    return "https://" + portal.listingHost + "/doc/area/" + slug +
           "/?sort=kana&page=" + std::to_string(page);
}

bool ListingLinksToPage(const std::vector<std::string>& lines, const std::string& slug, int page) {
    const std::string path = "/doc/area/" + slug + "/";
    const std::string number = std::to_string(page);
    for (const std::string& line : lines) {
        for (std::size_t at = line.find(path); at != std::string::npos;
             at = line.find(path, at + 1)) {
            // The address ends where its attribute value or the tag ends.
            const std::size_t end = line.find_first_of("\"' <>\t", at);
            const std::string_view address =
                std::string_view(line).substr(at, end == std::string::npos ? end : end - at);
            if (HasPageParameter(address, number)) {
                return true;
            }
        }
    }
    return false;
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
    const std::vector<std::string> courseIds = CollectCourseIds(context, slug);
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
