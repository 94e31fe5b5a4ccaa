// The prefecture listing crawl: course identifiers out of the course cards.
#include <string_view>
#include <unordered_set>

#include "CardName.h"
#include "MECSUtils.h"
#include "harvest_steps.h"

namespace teebasket {
namespace {

// The identifier in a card's link line (raw UTF-8), such as 120012 in
// <a href="/x/c_id/120012/?rt=1">: what follows the first "_" and precedes the
// next "?", without "id" and "/". Returns false when the line has no "_" or no
// "?" behind it, or when what is cut is longer than any identifier.
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
    if (question - 1 > 4 * kMaxCourseIdBytes) {
        return false;  // no cutting can bring it within kMaxCourseIdBytes
    }
    courseId = TextTrim(TextRemove(TextRemove(behind.substr(0, question - 1), "id"), "/"));
    return courseId.size() <= kMaxCourseIdBytes;
}

bool IsCardHeading(std::string_view line) {
    return HasPrefix(TextTrimView(line), "<h2") && TextFind(line, "gf-card-name") != 0;
}

// One card of a listing page: the course identifier and the name the card
// shows (code-page-932 bytes; empty when it shows none).
struct ListingCard {
    std::string courseId;
    std::string courseName;
};

// The card headings of a page: from a heading's line to the end of the first
// "</h2>" behind it. Each search goes on from where the one before ended, so
// that the page is searched once however many cards it holds.
class CardHeadings {
  public:
    explicit CardHeadings(std::string_view page) : page_(page) {}

    // The heading whose line starts at `at` (at least the `at` of the call
    // before); empty when it does not end within kMaxCardHeadingBytes.
    std::string_view At(std::size_t at) {
        if (!searched_ || (end_ != std::string_view::npos && end_ < at)) {
            end_ = page_.find(kEnd, at);
            searched_ = true;
        }
        if (end_ == std::string_view::npos || end_ + kEnd.size() - at > kMaxCardHeadingBytes) {
            return {};
        }
        return page_.substr(at, end_ + kEnd.size() - at);
    }

  private:
    static constexpr std::string_view kEnd = "</h2>";
    std::string_view page_;
    std::size_t end_ = std::string_view::npos;  // the first kEnd at or after the last `at`
    bool searched_ = false;
};

// The card scan of a page's bytes: a card heading line, then the card's link
// line. The name is the heading's own text, which may run over more lines.
std::vector<ListingCard> ScanCards(std::string_view page, const StopFlag& stop) {
    std::vector<ListingCard> cards;
    CardHeadings headings(page);
    LineCursor lines(page);
    std::string_view line;
    bool hasLine = lines.Next(line);
    while (hasLine) {
        std::string_view next;
        const bool hasNext = lines.Next(next);
        std::string courseId;
        if (hasNext && IsCardHeading(line) && CutCourseId(next, courseId)) {
            const auto headingAt = static_cast<std::size_t>(line.data() - page.data());
            cards.push_back({std::move(courseId), CutCardCourseName(headings.At(headingAt))});
        }
        if (stop.Requested()) {
            break;
        }
        line = next;
        hasLine = hasNext;
    }
    return cards;
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

// The course identifiers of a prefecture's listing pages: each page's cards
// that no earlier page has given, in page order. A card repeated within one
// page is kept, as it always has been on a first page.
class ListedCourses {
  public:
    // Adds the new cards of one page; false when there is none. Stops at
    // kMaxCoursesPerPrefecture courses (CutOff then says so).
    bool AddPage(std::vector<ListingCard> cards) {
        const std::size_t before = ids_.size();
        for (ListingCard& card : cards) {
            if (earlierPages_.count(card.courseId) != 0) {
                continue;
            }
            if (ids_.size() >= static_cast<std::size_t>(kMaxCoursesPerPrefecture)) {
                cutOff_ = true;
                break;
            }
            ids_.push_back(std::move(card.courseId));
            names_.push_back(std::move(card.courseName));
        }
        // The set grows by this page's cards; it is never built anew.
        earlierPages_.insert(ids_.begin() + static_cast<std::ptrdiff_t>(before), ids_.end());
        return ids_.size() > before;
    }

    bool CutOff() const { return cutOff_; }
    const std::vector<std::string>& Ids() const { return ids_; }
    const std::vector<std::string>& Names() const { return names_; }

  private:
    std::vector<std::string> ids_;
    std::vector<std::string> names_;  // the card's course name of each identifier
    std::unordered_set<std::string> earlierPages_;
    bool cutOff_ = false;
};

bool LinksToPage(LineCursor lines, const std::string& slug, int pageNumber) {
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

void NoteCoursesCutOff(detail::RunState& state, const std::string& url) {
    PageFailure failure;
    failure.kind = PageKind::Listing;
    failure.problem = PageProblem::TooManyCourses;
    failure.subject = state.report.currentPrefecture;
    failure.url = url;
    state.report.pageFailures.push_back(std::move(failure));
}

// The courses of every listing page of `slug`, in page order.
ListedCourses CollectCourses(detail::RunState& state, const std::string& slug) {
    ListedCourses listed;
    for (int page = 1; page <= kMaxListingPages; ++page) {
        const std::string url = ListingUrl(state.request.settings.portal, slug, page);
        const detail::PageRead read =
            detail::ReadPage(state, url, state.request.settings.pauses.afterListing);
        if (read.outcome == detail::PageRead::Outcome::NoPage) {
            detail::NotePageFailure(state, PageKind::Listing, state.report.currentPrefecture, url,
                                    read);
        }
        if (read.outcome != detail::PageRead::Outcome::Page) {
            break;
        }
        detail::NotePageAnswered(state);
        const bool added = listed.AddPage(ScanCards(read.page.Bytes(), state.stop));
        if (listed.CutOff()) {
            NoteCoursesCutOff(state, url);
            break;
        }
        if (!added || state.stop.Requested() || !ListingLinksToPage(read.page, slug, page + 1)) {
            break;
        }
    }
    return listed;
}

// The course's detail page failures from `first` on get the name its card
// showed, so that the course is named by name.
void NameFailedCourse(HarvestReport& report, std::size_t first, const std::string& courseName) {
    for (std::size_t i = first; i < report.pageFailures.size(); ++i) {
        if (report.pageFailures[i].kind == PageKind::Detail) {
            report.pageFailures[i].courseName = courseName;
        }
    }
}

detail::PrefectureListing ReadListing(detail::RunState& state, const std::string& slug) {
    const ListedCourses listed = CollectCourses(state, slug);
    return {listed.Ids(), listed.Names()};
}

// The prefecture's listing as read ahead of the crawl, or else read now.
detail::PrefectureListing TakeListing(detail::RunState& state, const std::string& slug) {
    const auto ahead = state.listedAhead.find(slug);
    if (ahead == state.listedAhead.end()) {
        return ReadListing(state, slug);
    }
    detail::PrefectureListing listing = std::move(ahead->second);
    state.listedAhead.erase(ahead);
    return listing;
}

bool ListingFailedSince(const HarvestReport& report, std::size_t first) {
    for (std::size_t i = first; i < report.pageFailures.size(); ++i) {
        if (report.pageFailures[i].kind == PageKind::Listing) {
            return true;
        }
    }
    return false;
}

// True when the course keeps its earlier line: the course is done without a
// request.
bool KeepEarlierLine(detail::RunState& state, const std::string& courseId) {
    ResumePlan* plan = state.output.Plan();
    if (plan == nullptr || !plan->Keep(DetailUrl(state.request.settings.portal, courseId))) {
        return false;
    }
    ++state.report.coursesKept;
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

std::vector<std::string> ScanListingCards(const PageText& page, const StopFlag& stop) {
    std::vector<std::string> courseIds;
    for (ListingCard& card : ScanCards(page.Bytes(), stop)) {
        courseIds.push_back(std::move(card.courseId));
    }
    return courseIds;
}

std::optional<std::unordered_set<std::string>> ListSelectionAhead(
    detail::RunState& state, const std::vector<std::string>& wanted) {
    std::unordered_set<std::string> missing(wanted.begin(), wanted.end());
    std::unordered_set<std::string> listed;
    const Selection& selection = state.request.selection;
    const std::size_t failuresBefore = state.report.pageFailures.size();
    for (std::size_t k = 0; k < selection.rows.size() && !missing.empty(); ++k) {
        const std::string slug = PrefectureSlug(selection.rows[k]);
        // Names the prefecture of a listing page that cannot be read.
        state.report.currentPrefecture = selection.displayNames[k];
        detail::PrefectureListing listing = ReadListing(state, slug);
        for (const std::string& courseId : listing.ids) {
            std::string url = DetailUrl(state.request.settings.portal, courseId);
            missing.erase(url);
            listed.insert(std::move(url));
        }
        state.listedAhead.emplace(slug, std::move(listing));
        if (state.stop.Requested() || ListingFailedSince(state.report, failuresBefore)) {
            state.report.currentPrefecture.clear();
            return std::nullopt;
        }
    }
    state.report.currentPrefecture.clear();
    return listed;
}

void CrawlPrefecture(detail::RunState& state, const std::string& slug) {
    HarvestReport& report = state.report;
    report.courseTotal = 0;
    report.courseIndex = 0;
    const detail::PrefectureListing listed = TakeListing(state, slug);
    const std::vector<std::string>& courseIds = listed.ids;
    if (courseIds.empty() || state.stop.Requested()) {
        state.observer.StatusUpdate(report);
        return;
    }
    report.courseTotal = static_cast<int>(courseIds.size());
    for (std::size_t i = 0; i < courseIds.size(); ++i) {
        const std::string& courseId = courseIds[i];
        ++report.courseIndex;
        state.observer.StatusUpdate(report);
        if (!KeepEarlierLine(state, courseId)) {
            const std::size_t failuresBefore = report.pageFailures.size();
            ExtractCourseDetail(state, courseId, listed.names[i]);
            NameFailedCourse(report, failuresBefore, listed.names[i]);
        }
        if (report.courseIndex == report.courseTotal || state.stop.Requested()) {
            break;
        }
    }
}

}  // namespace teebasket
