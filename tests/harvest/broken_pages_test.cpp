// Broken pages never break a course line: truncated double-byte characters,
// invalid lead bytes, pages cut mid-line, stray markers. Each case mutates a
// real page of the demo portal in a reproducible way and checks what every
// line must keep: 31 values, the detail URL, the operating state, no line
// break inside a value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "PortalPages.h"
#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

// The soak run (TEEBASKET_SOAK set, label "slow") mutates many more pages;
// TEEBASKET_SOAK_ROUNDS sets how many.
int Rounds(int quick) {
    if (const char* rounds = std::getenv("TEEBASKET_SOAK_ROUNDS")) {
        return std::max(quick, std::atoi(rounds));
    }
    return std::getenv("TEEBASKET_SOAK") != nullptr ? 20000 : quick;
}

const portal::CourseCatalog& Catalog() {
    static const portal::CourseCatalog catalog({7, 8});
    return catalog;
}

std::string Mutate(std::string page, std::mt19937& random) {
    const auto at = [&] {
        return std::uniform_int_distribution<std::size_t>(0, page.size())(random);
    };
    static const std::string kMarkers[] = {"<h3",
                                           ">",
                                           "<li class=\"details-block car\">",
                                           "\"geo\":",
                                           "<dt>FAX",
                                           "\"bestRating\":",
                                           "\xE3",
                                           "\x82",
                                           "\xFC",
                                           "<script type=\"application/json\">",
                                           "\r",
                                           "\n",
                                           ","};
    const int edits = std::uniform_int_distribution<int>(1, 12)(random);
    for (int e = 0; e < edits && !page.empty(); ++e) {
        switch (std::uniform_int_distribution<int>(0, 4)(random)) {
            case 0:  // cut the page short, often inside a character
                page.resize(at());
                break;
            case 1:  // a random byte anywhere
                page[std::min(at(), page.size() - 1)] =
                    static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
                break;
            case 2:  // a marker where it does not belong
                page.insert(at(), kMarkers[std::uniform_int_distribution<std::size_t>(
                                      0, std::size(kMarkers) - 1)(random)]);
                break;
            case 3: {  // a stretch of the page removed
                const std::size_t from = at();
                page.erase(from, std::uniform_int_distribution<std::size_t>(0, 4000)(random));
                break;
            }
            default:  // a zero byte
                page.insert(at(), 1, '\0');
                break;
        }
    }
    return page;
}

void ExpectSoundLine(const CourseRecord& record, const std::string& courseId) {
    EXPECT_EQ(record[kColumnDetailUrl], "https://book.example/guide/disp/c_id/" + courseId);
    const std::string state = U(record[kColumnState]);
    EXPECT_TRUE(state == "運営中" || state == "閉鎖") << state;
    for (const std::string& value : record.values) {
        EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos);
    }
    // Doubled quotes keep the line at 31 values for any reader.
    const std::string line = CourseLine(record);
    std::size_t values = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ',' && !quoted) {
            ++values;
        }
    }
    EXPECT_EQ(values, 31u);
    EXPECT_FALSE(quoted);
}

}  // namespace

TEST(BrokenPages, DetailPagesStillGiveOneSoundLine) {
    std::mt19937 random(20261208);
    const int rounds = Rounds(150);
    for (int round = 0; round < rounds; ++round) {
        const portal::GeneratedCourse course =
            Catalog().Course(round % 47 == 30 ? 0 : round % 47, 0);
        const std::string page = Mutate(Catalog().DetailPage(course), random);
        const CourseRecord record = ParseCourseDetail(PageText(page), TestPortal(), course.id);
        ExpectSoundLine(record, course.id);
        if (HasFailure()) {
            FAIL() << "round " << round;
        }
    }
}

TEST(BrokenPages, ListingPagesGiveIdentifiersOrNothing) {
    std::mt19937 random(8);
    const StopFlag stop;
    const int rounds = Rounds(150);
    for (int round = 0; round < rounds; ++round) {
        const std::string page = Mutate(Catalog().ListingPage(round % 47, 1), random);
        const std::vector<std::string> ids = ScanListingCards(PageText(page), stop);
        EXPECT_LE(ids.size(), 60u);
        for (const std::string& id : ids) {
            // Whatever the page held, the request path stays on the detail page.
            const std::size_t prefix = DetailUrl(TestPortal(), "").size();
            EXPECT_EQ(DetailUrl(TestPortal(), id).find_first_of("?#/", prefix), std::string::npos)
                << id;
        }
    }
}

TEST(BrokenPages, ConversionTakesAnyBytes) {
    std::mt19937 random(932);
    const int rounds = Rounds(300);
    for (int round = 0; round < rounds; ++round) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 64)(random), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        }
        const std::string ansi = UTF8ToAnsi(bytes);
        EXPECT_EQ(ansi.find('\0'), std::string::npos);
        // Whatever came in, the result is well-formed code page 932 text.
        const std::u16string back = AnsiToUTF16(ansi, kCodePageJapanese);
        EXPECT_EQ(back.find(u'\uFFFD'), std::u16string::npos);
        std::vector<std::string> pieces;
        SplitText(ansi, ">", pieces);
        EXPECT_EQ(NormalizeText(ansi).size() <= ansi.size(), true);
    }
}
