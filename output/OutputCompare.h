// OutputCompare: what changed between two runs' courses, matched by their
// detail-page URL, and the report of it in the formats of the output files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

// A course whose page could not be read in either file (CourseFetch::Failed)
// is Failed, never Added, Removed or Changed: a failed download is no news
// about the course.
enum class CourseChangeKind { Added, Removed, Changed, Failed };

// One column of a changed course (values UTF-8).
struct ColumnChange {
    int column = 0;  // 0-32, as in OutputColumns.h
    std::string oldValue;
    std::string newValue;
};

struct CourseChange {
    CourseChangeKind kind = CourseChangeKind::Changed;
    // UTF-8: the new name, the old one for a removed course or when the new
    // row has none.
    std::string name;
    std::string detailUrl;   // UTF-8
    std::string prefecture;  // UTF-8 (東京都), as the row gives it; may be empty
    // Failed courses: which file holds the row whose page could not be read.
    bool failedInOld = false;
    bool failedInNew = false;
    // Changed courses: 運営状況 first, then 評価, 口コミ数, then the others in
    // column order.
    std::vector<ColumnChange> columns;
};

struct CompareResult {
    // Added courses in the new file's order, then removed ones in the old
    // file's order, then changed ones in the new file's order, then the
    // failed ones (the new file's order, then the old one's).
    std::vector<CourseChange> changes;
    int added = 0;
    int removed = 0;
    int changed = 0;
    int unchanged = 0;
    int failed = 0;
    // The newest 取得日時 of each file's courses (ISO 8601); empty when the
    // file gives none.
    std::string oldFetchedAt;
    std::string newFetchedAt;
    // Rows without a detail-page URL, which cannot be matched, and rows whose
    // URL an earlier row of the same file already has: left out.
    int unmatchedOld = 0;
    int unmatchedNew = 0;
};

// Compares the 31 columns of each course found in both, and 都道府県 and
// コースID where both files give them (the original CSV has neither). The
// time of reading and the number columns, which follow from the texts, are
// not compared.
CompareResult CompareOutputs(const std::vector<CourseEntry>& oldEntries,
                             const std::vector<CourseEntry>& newEntries);

// The files compared, named as the user gave them (UTF-8), for the report.
struct CompareFiles {
    std::string oldFile;
    std::string newFile;
};

// The summary for a terminal (UTF-8, lines ending in "\n"): the counts, then
// one line per course that changed, control characters escaped.
std::string CompareSummary(const CompareResult& result);

// The report file's format, by the extension of its path: .csv a
// code-page-932 CSV, .xlsx a workbook, .jsonl JSON Lines, anything else text.
enum class ReportFormat { Text, Csv, Jsonl, Xlsx };
ReportFormat ReportFormatOfPath(const std::filesystem::path& path);

// The report's bytes in a text format (not Xlsx): one row per changed column,
// and one per course added, removed or failed, with the columns 名称,
// 詳細ページURL, 変更 (新規, 掲載終了, 変更, 取得できず), 項目, 旧, 新 (for a
// failed course, 旧 or 新 says 取得できず for the file whose page failed);
// JSON Lines with the keys name, detail_url, change (added, removed,
// changed, failed), column (the JSON key of the column), old, new.
std::string ReportBytes(const CompareResult& result, ReportFormat format);

// Writes the full report to `path` in the format of its extension, in one
// step (a complete new file replaces the old one). A workbook has a sheet
// 概要 (both files, their newest 取得日時 and the counts), then 新規,
// 掲載終了, 閉鎖 (運営状況 became 閉鎖), 評価変動, 変更 (every changed column)
// and 取得できず, with numbers as numbers and detail pages as links.
// Returns false and the reason (UTF-8).
bool WriteCompareReport(const std::filesystem::path& path, const CompareResult& result,
                        const CompareFiles& files, std::string& error);

}  // namespace teebasket
