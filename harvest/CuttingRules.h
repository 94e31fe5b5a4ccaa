// CuttingRules: how the pages of the portal are addressed and cut into course
// identifiers and course records. The run's steps use them; tests and
// benchmarks call them on pages of their own.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "CourseRecord.h"
#include "HarvestConfig.h"
#include "StopFlag.h"
#include "Unicommon.h"

namespace teebasket {

// The URL of listing page `page` (from 1) of `slug`, and the detail and review
// URLs of a course.
std::string ListingUrl(const PortalSettings& portal, const std::string& slug, int page = 1);
std::string DetailUrl(const PortalSettings& portal, const std::string& courseId);
std::string ReviewUrl(const PortalSettings& portal, const std::string& courseId);

// The host (and port) of an https address, "" when `url` names none.
std::string HostOfUrl(std::string_view url);

// `bytes` with every byte that may not stand in a URL path segment written as
// %XX, and "." and ".." written as %2E and %2E%2E, so that page text can never
// change the request.
std::string EncodePathSegment(const std::string& bytes);

// The longest course identifier a card may give, in bytes; a longer one is
// not a card. Real identifiers have six digits.
inline constexpr std::size_t kMaxCourseIdBytes = 256;

// The course identifiers of a listing page, in page order (code-page-932
// bytes). The page is read line by line as it lies in its buffer.
std::vector<std::string> ScanListingCards(const PageText& page, const StopFlag& stop);

// The most listing pages read for one prefecture.
inline constexpr int kMaxListingPages = 100;

// The most courses taken from one prefecture's listing; the largest
// prefecture has a few hundred. The courses beyond it are named as a page
// failure of the listing.
inline constexpr int kMaxCoursesPerPrefecture = 5000;

// True when a listing page links to page `pageNumber` of the listing of
// `slug`: an address that holds "/doc/area/<slug>/" and the query parameter
// "page=<pageNumber>".
bool ListingLinksToPage(const PageText& page, const std::string& slug, int pageNumber);

// A course's position: plain decimal texts (UTF-8, "35.681234"), both empty
// when the page gives none.
struct CoursePosition {
    std::string latitude;
    std::string longitude;
};

// Fills a record from a detail page: structured data, body pass, and the two
// URL columns; and `position`, when given, from the first structured-data
// line that holds one. A page once downloaded is always read whole, so a stop
// request never leaves a half-filled line behind. The page is read line by
// line as it lies in its buffer.
CourseRecord ParseCourseDetail(const PageText& page, const PortalSettings& portal,
                               const std::string& courseId, CoursePosition* position = nullptr);

// The position in one structured-data script line (raw UTF-8): "latitude"
// and "longitude" of its "geo" object, each a JSON number or string that is
// a plain decimal number (at most 90 and 180 in size). Both empty unless
// both are such numbers.
CoursePosition PositionOfStructuredData(std::string_view line);

// The structured-data pass over one script line (raw UTF-8 bytes).
void ExtractStructuredData(std::string_view line, CourseRecord& record);

// The body pass over the collected body text (code-page-932 bytes).
void ExtractBodySections(std::string_view bodyText, CourseRecord& record);

// Labels of the 21 section slots (UTF-8; slots 2 and 20 are empty).
extern const std::array<std::string_view, 21> SectionLabelTable;

// The column of the first non-empty slot whose label equals `label`
// (code-page-932 bytes) without regard to case, or -1.
int ColumnForLabel(std::string_view label);

}  // namespace teebasket
