#include "EarlierSelection.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "MECSUtils.h"
#include "Prefectures.h"

namespace teebasket {

namespace {

int RowOfDisplayName(std::string_view name) {
    for (int row = 0; row < kPrefectureCount; ++row) {
        if (PrefectureTable[row].displayName == name) {
            return row;
        }
    }
    return -1;
}

// `address` is code-page-932 bytes.
int RowOfAddress(std::string_view address) {
    for (int row = 0; row < kPrefectureCount; ++row) {
        if (address.starts_with(PrefectureNameAnsi(row))) {
            return row;
        }
    }
    return -1;
}

// Each course once, in file order, with the prefecture the first of its
// rows that names one gives.
struct PlacedCourse {
    std::string detailUrl;
    int row = -1;
};

std::vector<PlacedCourse> PlaceCourses(const std::vector<CourseEntry>& earlier) {
    std::vector<PlacedCourse> courses;
    std::unordered_map<std::string, std::size_t> seen;
    for (const CourseEntry& entry : earlier) {
        const std::string& url = entry.record[kColumnDetailUrl];
        const auto [at, isNew] = seen.try_emplace(url, courses.size());
        if (isNew) {
            courses.push_back({url, -1});
        }
        int& row = courses[at->second].row;
        if (row < 0) {
            row = PrefectureRowOf(entry);
        }
    }
    return courses;
}

void CountOutside(CoursesOutside& outside, int row) {
    ++outside.courses;
    if (row < 0) {
        return;
    }
    auto& counts = outside.byPrefecture;
    auto at = std::find_if(counts.begin(), counts.end(),
                           [row](const PrefectureCourses& c) { return c.row >= row; });
    if (at == counts.end() || at->row != row) {
        at = counts.insert(at, {row, 0});
    }
    ++at->courses;
}

}  // namespace

int PrefectureRowOf(const CourseEntry& entry) {
    if (!entry.prefecture.empty()) {
        if (const int row = RowOfDisplayName(entry.prefecture); row >= 0) {
            return row;
        }
    }
    return RowOfAddress(entry.record[kColumnAddress]);
}

CoursesOutside FindCoursesOutside(const std::vector<CourseEntry>& earlier,
                                  const std::vector<int>& selectedRows,
                                  const std::unordered_set<std::string>* listedUrls) {
    CoursesOutside outside;
    for (const PlacedCourse& course : PlaceCourses(earlier)) {
        if (course.row >= 0) {
            const bool selected = std::find(selectedRows.begin(), selectedRows.end(), course.row) !=
                                  selectedRows.end();
            if (!selected) {
                CountOutside(outside, course.row);
            }
        } else if (listedUrls == nullptr) {
            outside.unplaced.push_back(course.detailUrl);
        } else if (listedUrls->count(course.detailUrl) == 0) {
            CountOutside(outside, -1);
        }
    }
    return outside;
}

}  // namespace teebasket
