// Courses for the format tests, taken from real detail pages of the demo
// portal (its page renderer) through the engine's own extraction, plus
// values made to be awkward.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include <filesystem>

#include <gtest/gtest.h>

#include "JournalCodec.h"
#include "MECSUtils.h"
#include "OutputFormat.h"
#include "PortalPages.h"
#include "TestSupport.h"
#include "Unicommon.h"
#include "Unithread.h"
#include "Workbook.h"

namespace teebasket::test {

// 2026-12-09T04:45:02Z.
inline constexpr std::time_t kFetchTime = 1796791502;

// `perPrefecture` courses of each of `prefectures` (row indices), as a run
// would record them.
inline std::vector<CourseEntry> DemoEntries(const std::vector<int>& prefectures,
                                            int perPrefecture) {
    const portal::CourseCatalog catalog({.seed = 7, .coursesPerPrefecture = perPrefecture});
    PortalSettings settings;
    settings.listingHost = "127.0.0.1:48443";
    settings.bookingHost = "127.0.0.1:48443";
    std::vector<CourseEntry> entries;
    for (const int prefecture : prefectures) {
        for (int number = 0; number < catalog.CourseCount(prefecture); ++number) {
            const portal::GeneratedCourse course = catalog.Course(prefecture, number);
            CourseEntry entry;
            CoursePosition position;
            entry.record = ParseCourseDetail(PageText(catalog.DetailPage(course)), settings,
                                             course.id, &position);
            entry.latitude = position.latitude;
            entry.longitude = position.longitude;
            entry.prefecture = std::string(portal::kPortalPrefectures[prefecture].name);
            entry.courseId = course.id;
            entry.fetchedAt = IsoLocalTime(kFetchTime + static_cast<std::time_t>(entries.size()));
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

// A course whose values a spreadsheet or a line-based reader could trip
// over: formulas, quotes, commas, a literal _x0041_, blanks at the ends.
inline CourseEntry AwkwardEntry() {
    CourseEntry entry;
    entry.record[kColumnName] = UTF8ToAnsi("=HYPERLINK(\"http://x/\",\"ゴルフ\")");
    entry.record[kColumnPostalCode] = "-123";
    entry.record[kColumnAddress] = UTF8ToAnsi("東京都, \"港区\" _x0041_ ");
    entry.record[kColumnTelephone] = "+81 3";
    entry.record[kColumnFax] = "@x";
    entry.record[kColumnCarAccess] = "\tTab";
    entry.record[6] = "'quoted'";
    entry.record[7] = "=";
    entry.record[16] = "072";
    entry.record[kColumnRating] = "4.5";
    entry.record[kColumnReviewCount] = UTF8ToAnsi("1,234件");
    entry.record[kColumnDetailUrl] = "https://127.0.0.1:48443/guide/disp/c_id/199999";
    entry.prefecture = "沖縄県";
    entry.courseId = "199999";
    entry.fetchedAt = "2026-12-09T13:45:02+09:00";
    entry.fetchStatus = CourseFetch::Kept;
    entry.latitude = "-33.8688";
    entry.longitude = "-151.2093";
    return entry;
}

// A course whose page could not be read: its name from the listing card,
// an empty operating state and its detail URL.
inline CourseEntry FailedEntry() {
    CourseEntry entry;
    entry.record[kColumnName] = UTF8ToAnsi("失敗カントリー倶楽部");
    entry.record[kColumnState].clear();
    entry.record[kColumnDetailUrl] = "https://127.0.0.1:48443/guide/disp/c_id/199998";
    entry.prefecture = "沖縄県";
    entry.courseId = "199998";
    entry.fetchedAt = "2026-07-01T23:59:59-05:30";
    entry.fetchStatus = CourseFetch::Failed;
    return entry;
}

// Writes `entries` to `path` as a finished run of `format` would leave
// them.
inline void WriteOutput(const std::filesystem::path& path, OutputFormat format,
                        const std::vector<CourseEntry>& entries) {
    if (format == OutputFormat::Xlsx) {
        WrittenWorkbook workbook;
        std::string error;
        ASSERT_TRUE(WriteWorkbook(path, entries, workbook, error)) << error;
        ASSERT_FALSE(PutWorkbookInPlace(workbook, path));
        return;
    }
    const JournalCodec& codec = JournalCodecFor(format);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry);
        bytes += codec.LineEnd();
    }
    WriteFileBytes(path, bytes);
}

}  // namespace teebasket::test
