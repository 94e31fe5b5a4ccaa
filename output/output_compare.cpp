// Matching two runs' courses by their detail-page URL.
#include <algorithm>
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

bool IsFailed(const CourseEntry& entry) {
    return entry.fetchStatus == CourseFetch::Failed;
}

CourseChange ChangeOf(CourseChangeKind kind, const CourseEntry& entry) {
    CourseChange change;
    change.kind = kind;
    change.name = Utf8FromCp932(entry.record[kColumnName]);
    change.detailUrl = Utf8FromCp932(entry.record[kColumnDetailUrl]);
    change.prefecture = entry.prefecture;
    return change;
}

// A course failed in one file or both; `old` is null when the old file
// lacks it. Its name and prefecture come from the other file when its own
// row has none.
CourseChange FailedChange(const CourseEntry* old, const CourseEntry* now) {
    const CourseEntry& first = now != nullptr ? *now : *old;
    CourseChange change = ChangeOf(CourseChangeKind::Failed, first);
    if (old != nullptr && now != nullptr) {
        if (change.name.empty()) {
            change.name = Utf8FromCp932(old->record[kColumnName]);
        }
        if (change.prefecture.empty()) {
            change.prefecture = old->prefecture;
        }
    }
    change.failedInOld = old != nullptr && IsFailed(*old);
    change.failedInNew = now != nullptr && IsFailed(*now);
    return change;
}

std::string NewestFetchedAt(const std::vector<CourseEntry>& entries) {
    std::string newest;
    for (const CourseEntry& entry : entries) {
        newest = std::max(newest, entry.fetchedAt);
    }
    return newest;
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
    result.oldFetchedAt = NewestFetchedAt(oldEntries);
    result.newFetchedAt = NewestFetchedAt(newEntries);

    std::vector<CourseChange> changed;
    std::vector<CourseChange> failed;
    for (std::size_t at = 0; at < newEntries.size(); ++at) {
        if (!newIndexed[at]) {
            continue;
        }
        const CourseEntry& course = newEntries[at];
        const auto earlier = oldByUrl.find(course.record[kColumnDetailUrl]);
        const CourseEntry* old = earlier == oldByUrl.end() ? nullptr : &oldEntries[earlier->second];
        if (IsFailed(course) || (old != nullptr && IsFailed(*old))) {
            failed.push_back(FailedChange(old, &course));
            continue;
        }
        if (old == nullptr) {
            result.changes.push_back(ChangeOf(CourseChangeKind::Added, course));
            ++result.added;
            continue;
        }
        CourseChange change = ChangeOf(CourseChangeKind::Changed, course);
        for (const int column : columns) {
            std::string oldText = TextOf(*old, column);
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
        const CourseEntry& old = oldEntries[at];
        if (!oldIndexed[at] || newByUrl.contains(old.record[kColumnDetailUrl])) {
            continue;
        }
        if (IsFailed(old)) {
            failed.push_back(FailedChange(&old, nullptr));
        } else {
            result.changes.push_back(ChangeOf(CourseChangeKind::Removed, old));
            ++result.removed;
        }
    }
    result.changed = static_cast<int>(changed.size());
    result.failed = static_cast<int>(failed.size());
    for (std::vector<CourseChange>* group : {&changed, &failed}) {
        for (CourseChange& change : *group) {
            result.changes.push_back(std::move(change));
        }
    }
    return result;
}

}  // namespace teebasket
