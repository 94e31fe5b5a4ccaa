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

// ListingLinksToPage over any reader of lines (LineCursor or LineListCursor).
template <typename Lines>
bool LinksToPage(Lines lines, const std::string& slug, int pageNumber) {
    const std::string path = "/doc/area/" + slug + "/";
    const std::string number = std::to_string(pageNumber);
    for (std::string_view line; lines.Next(line);) {
        for (std::size_t at = line.find(path); at != std::string_view::npos;
             at = line.find(path, at + 1)) {
            // The address ends where its attribute value or the tag ends.
            const std::size_t end = line.find_first_of("\"' <>\t", at);
            const std::string_view address =
                line.substr(at, end == std::string_view::npos ? end : end - at);
            if (HasPageParameter(address, number)) {
                return true;
            }
        }
    }
    return false;
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
        const bool added = AppendNewCards(courseIds, ScanListingCards(read.page, run.stop));
        if (!added || run.stop.Requested() || !ListingLinksToPage(read.page, slug, page + 1)) {
            break;
        }
    }
    return courseIds;
}

// True when the caller keeps the course's earlier line: the course is done
// without a request.
bool KeepEarlierLine(HarvestRun& run, const std::string& courseId) {
    if (run.keptCourses == nullptr || !run.keptCourses->Keep(courseId)) {
        return false;
    }
    ++run.coursesKept;
    run.resultCode = kResultRowsWritten;
    return true;
}

}  // namespace

std::string ListingUrl(const PortalSettings& portal, const std::string& slug, int page) {
    return "https://" + portal.listingHost + "/doc/area/" + slug +
           "/?sort=kana&page=" + std::to_string(page);
}

bool ListingLinksToPage(const PageText& page, const std::string& slug, int pageNumber) {
    return LinksToPage(page.Lines(), slug, pageNumber);
}

bool ListingLinksToPage(const std::vector<std::string>& lines, const std::string& slug,
                        int pageNumber) {
    return LinksToPage(LineListCursor(lines), slug, pageNumber);
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
    const std::vector<std::string> courseIds = CollectCourseIds(context, slug);
    if (courseIds.empty() || run.stop.Requested()) {
        context.observer.StatusUpdate(run);
        return;
    }
    run.courseTotal = static_cast<int>(courseIds.size());
    for (const std::string& courseId : courseIds) {
        ++run.courseIndex;
        context.observer.StatusUpdate(run);
        if (!KeepEarlierLine(run, courseId)) {
            ExtractCourseDetail(context, courseId);
        }
        if (run.courseIndex == run.courseTotal || run.stop.Requested()) {
            break;
        }
    }
}

}  // namespace teebasket
