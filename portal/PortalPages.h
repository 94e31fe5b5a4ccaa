// PortalPages: the generated courses of the demo portal and the pages that
// show them.
//
// Everything is UTF-8 and deterministic: the same seed and number of courses
// per prefecture give the same courses and the same page bytes. The pages have
// the shapes the harvest reads (course cards on the listing page; the
// structured-data line, the page-data script line that starts the body, the
// contact list, the access list, the tag list and the labelled facts on the
// detail page) inside realistic surrounding HTML.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace teebasket::portal {

struct PortalPrefecture {
    std::string_view slug;  // ASCII, as the listing path uses it
    std::string_view name;  // UTF-8
};

inline constexpr int kPortalPrefectureCount = 47;
extern const std::array<PortalPrefecture, kPortalPrefectureCount> kPortalPrefectures;

// Prefecture index of `slug`, or -1.
int PrefectureOfSlug(std::string_view slug);

struct CatalogSettings {
    std::uint64_t seed = 1;
    int coursesPerPrefecture = 20;  // 0 to 999
};

inline constexpr int kCoursesPerListingPage = 30;

// One generated course. Texts are UTF-8.
struct GeneratedCourse {
    std::string id;  // six digits: 1, the prefecture (01-47), the number (001-999)
    int prefecture = 0;
    int number = 0;    // 0-based position in its prefecture's listing
    std::string name;  // ends in （閉鎖） for a closed course
    bool closed = false;
    bool hasStructuredData = true;
    bool crlf = false;       // the detail page's lines end in CR LF
    std::string postalCode;  // seven digits, no hyphen
    std::string region;      // prefecture and city
    std::string street;      // with full-width digits and hyphens
    std::string telephone;
    std::string fax;
    std::vector<std::string> carAccess;
    std::vector<std::string> tags;  // as shown, some with 不可
    // The nineteen labelled facts, in page order: label, then the value's
    // text pieces (one paragraph each).
    std::vector<std::pair<std::string, std::vector<std::string>>> facts;
    std::string rating;  // one decimal, like 4.3
    int reviewCount = 0;
    std::string latitude;
    std::string longitude;
};

class CourseCatalog {
  public:
    explicit CourseCatalog(CatalogSettings settings);

    const CatalogSettings& Settings() const { return settings_; }

    // Courses of prefecture `prefecture` (0 for the prefectures without any).
    int CourseCount(int prefecture) const;

    // Course `number` (0-based) of `prefecture`; both must be in range.
    GeneratedCourse Course(int prefecture, int number) const;

    // The course with identifier `id`, if there is one.
    std::optional<GeneratedCourse> FindCourse(std::string_view id) const;

    // Listing page `page` (from 1) of `prefecture`, kana order, up to
    // kCoursesPerListingPage cards; a page past the last one has no cards.
    std::string ListingPage(int prefecture, int page) const;

    // The course's detail page (roughly 100-150 KB).
    std::string DetailPage(const GeneratedCourse& course) const;

    // The course's review page.
    std::string ReviewPage(const GeneratedCourse& course) const;

    // The portal's front page: one link per prefecture.
    std::string IndexPage() const;

  private:
    CatalogSettings settings_;
};

// Prefectures that have no courses in generated mode.
inline constexpr std::array<int, 2> kPrefecturesWithoutCourses = {30, 38};  // tottori, kochi

// The small page of a 404 answer, naming `path` (HTML-escaped).
std::string NotFoundPage(std::string_view path);

// The small page of a 500 answer.
std::string ServerErrorPage();

}  // namespace teebasket::portal
