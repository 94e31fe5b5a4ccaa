// Matching two runs' courses by their detail-page URL.
#include <unordered_map>

#include "OutputColumns.h"
#include "OutputCompare.h"

namespace teebasket {
namespace {

// The compared columns in report order: 運営状況, 評価, 口コミ数, then the
// others.
std::vector<int> ComparedColumns() {
    std::vector<int> columns = {kColumnState, kColumnRating, kColumnReviewCount};
    for (int column = 0; column <= kColumnCourseId; ++column) {
        if (column != kColumnState && column != kColumnRating && column != kColumnReviewCount) {
            columns.push_back(column);
        }
    }
    return columns;
}

std::string TextOf(const CourseEntry& entry, int column) {
    switch (column) {
        case kColumnPrefecture:
            return entry.prefecture;
        case kColumnCourseId:
            return entry.courseId;
        default:
            return Utf8FromCp932(entry.record[column]);
    }
}

// Course index by detail URL (the first row of each URL); rows without one
// or with a repeated one are counted in `unmatched`.
std::unordered_map<std::string, std::size_t> IndexByUrl(const std::vector<CourseEntry>& entries,
                                                        std::vector<bool>& indexed,
                                                        int& unmatched) {
    std::unordered_map<std::string, std::size_t> index;
    indexed.assign(entries.size(), false);
    for (std::size_t at = 0; at < entries.size(); ++at) {
        const std::string& url = entries[at].record[kColumnDetailUrl];
        if (url.empty() || !index.emplace(url, at).second) {
            ++unmatched;
        } else {
            indexed[at] = true;
        }
    }
    return index;
}

}  // namespace

CompareResult CompareOutputs(const std::vector<CourseEntry>& oldEntries,
                             const std::vector<CourseEntry>& newEntries) {
    CompareResult result;
    std::vector<bool> oldIndexed;
    std::vector<bool> newIndexed;
    const auto oldByUrl = IndexByUrl(oldEntries, oldIndexed, result.unmatchedOld);
    const auto newByUrl = IndexByUrl(newEntries, newIndexed, result.unmatchedNew);
    const std::vector<int> columns = ComparedColumns();

    std::vector<CourseChange> changed;
    for (std::size_t at = 0; at < newEntries.size(); ++at) {
        if (!newIndexed[at]) {
            continue;
        }
        const CourseEntry& course = newEntries[at];
        const auto earlier = oldByUrl.find(course.record[kColumnDetailUrl]);
        CourseChange change;
        change.name = Utf8FromCp932(course.record[kColumnName]);
        change.detailUrl = Utf8FromCp932(course.record[kColumnDetailUrl]);
        if (earlier == oldByUrl.end()) {
            change.kind = CourseChangeKind::Added;
            result.changes.push_back(std::move(change));
            ++result.added;
            continue;
        }
        const CourseEntry& old = oldEntries[earlier->second];
        for (const int column : columns) {
            std::string oldText = TextOf(old, column);
            std::string newText = TextOf(course, column);
            const bool bothGiven = column < kColumnCount || (!oldText.empty() && !newText.empty());
            if (bothGiven && oldText != newText) {
                change.columns.push_back({column, std::move(oldText), std::move(newText)});
            }
        }
        if (change.columns.empty()) {
            ++result.unchanged;
        } else {
            changed.push_back(std::move(change));
        }
    }
    for (std::size_t at = 0; at < oldEntries.size(); ++at) {
        if (oldIndexed[at] && !newByUrl.contains(oldEntries[at].record[kColumnDetailUrl])) {
            CourseChange change;
            change.kind = CourseChangeKind::Removed;
            change.name = Utf8FromCp932(oldEntries[at].record[kColumnName]);
            change.detailUrl = Utf8FromCp932(oldEntries[at].record[kColumnDetailUrl]);
            result.changes.push_back(std::move(change));
            ++result.removed;
        }
    }
    result.changed = static_cast<int>(changed.size());
    for (CourseChange& change : changed) {
        result.changes.push_back(std::move(change));
    }
    return result;
}

}  // namespace teebasket
