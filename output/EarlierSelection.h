// EarlierSelection: whether the courses of an earlier file lie within a
// run's selection, so that a run that continues the file never drops the
// courses of another selection.
//
// A course's prefecture is what its row says: its 都道府県 value (the formats
// that carry one), else the prefecture whose name its 住所 begins with (the
// code-page-932 CSV). A row that says neither (its page could not be read)
// is placed by the run's listing pages: a course they list is of the
// selection, one they do not list, when every page was read, is not.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

// The earlier courses of one prefecture.
struct PrefectureCourses {
    int row = -1;  // index of PrefectureTable
    int courses = 0;
};

// The earlier courses that lie outside a run's selection.
struct CoursesOutside {
    int courses = 0;  // in all, those that no listing page names included
    // Those whose row names their prefecture, in the order of PrefectureTable.
    std::vector<PrefectureCourses> byPrefecture;
    // The detail URLs (ASCII) of the courses whose row names no prefecture
    // and that no listing page has placed yet, in file order.
    std::vector<std::string> unplaced;
};

// The PrefectureTable index of the prefecture that `entry` names (its
// 都道府県 value, else the start of its 住所), or -1.
int PrefectureRowOf(const CourseEntry& entry);

// The courses of `earlier` (each detail URL once) outside `selectedRows`.
// `listedUrls` are the detail URLs that the selection's listing pages name,
// every page read or at least every page up to the last unplaced course;
// null when they have not been read (or could not all be), which leaves the
// courses whose row names no prefecture unplaced.
CoursesOutside FindCoursesOutside(const std::vector<CourseEntry>& earlier,
                                  const std::vector<int>& selectedRows,
                                  const std::unordered_set<std::string>* listedUrls);

}  // namespace teebasket
