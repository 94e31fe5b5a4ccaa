// ResultsTable: the courses of one output file as a table to sort, filter
// and search, with the changes since an earlier run of the same selection
// marked. No Qt: the window shows it through a thin item model.
//
// The values of every course (the 40 columns of OutputColumns.h) lie in one
// store; the table's rows are a vector of record numbers over it, in
// the order of the current sort, thinned by the current filter. Courses of
// the earlier run that the file no longer lists are records of the store
// too, marked Gone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "OutputColumns.h"
#include "OutputCompare.h"
#include "OutputFormat.h"
#include "OutputReader.h"

namespace teebasket::results {

inline constexpr int kResultsColumnCount = kOutputColumnCount;

// The bounds of a file the table opens: far beyond any run of the portal,
// while the table keeps a course in about a kilobyte.
OutputReadBounds ResultsReadBounds();

// What became of a course since the earlier run. A course whose page could
// not be read in either run, and a course that only moved in the file, are
// no change.
enum class ChangeMark : std::uint8_t { None, New, Gone, Closed, Changed };

// The counts of the summary line.
struct ChangeSummary {
    int added = 0;
    int gone = 0;
    int closed = 0;
    int ratingChanged = 0;
    int failed = 0;
};

// 新規 3・掲載終了 1・閉鎖 2・評価変動 15・取得できず 0 (UTF-8).
std::string SummaryLine(const ChangeSummary& summary);

// Which rows the table shows. Empty texts and absent bounds let every row
// through.
struct ResultsFilter {
    std::string prefecture;  // 都道府県, as the column holds it
    std::string state;       // 運営状況, as the column holds it
    std::optional<CourseFetch> fetch;
    std::optional<double> ratingMin;  // a row without a 評価 falls outside any bound
    std::optional<double> ratingMax;
    std::string search;  // over 名称 and 住所, case and full/half-width ASCII aside
    bool changesOnly = false;
};

// `utf8` with full-width ASCII letters, digits and signs made half-width,
// the ideographic space a blank, and ASCII letters lower case: the form in
// which the search compares.
std::string SearchFolded(std::string_view utf8);

class ResultsTable {
  public:
    // Reads `file` (any of the four formats) in place of what the table
    // held, sorted in file order, unfiltered, without changes. False and the
    // reason (UTF-8) when it cannot be read; the table is then as before.
    bool Open(const std::filesystem::path& file, std::string& error);

    // Marks the changes since `earlier` (any of the four formats), in place
    // of earlier marks. False and the reason; the table then has no marks.
    bool CompareWith(const std::filesystem::path& earlier, std::string& error);
    void ForgetChanges();

    OutputFormat format() const { return format_; }
    bool compared() const { return compared_; }
    const ChangeSummary& summary() const { return summary_; }

    // The records: those of the file, then those of the earlier run that
    // the file no longer lists.
    std::size_t RecordCount() const { return offsets_.size() / kStride; }
    std::size_t FileRecordCount() const { return fileRecords_; }

    // The rows shown, as record numbers.
    const std::vector<std::uint32_t>& rows() const { return view_; }
    std::uint32_t RecordOfRow(std::size_t row) const { return view_[row]; }

    // The value of a column, UTF-8.
    std::string Text(std::uint32_t record, int column) const;
    ChangeMark Mark(std::uint32_t record) const { return marks_[record]; }
    // The earlier value of `column` when it changed; nothing otherwise.
    std::optional<std::string_view> EarlierValue(std::uint32_t record, int column) const;

    // Sorts every record by `column` on its typed value (numbers as
    // numbers, 取得日時 as a time, otherwise the text), stable, absent
    // values last; then filters again.
    void SortBy(int column, bool descending);
    void SetFilter(const ResultsFilter& filter);
    const ResultsFilter& filter() const { return filter_; }

    // The distinct values of a column over the file's records, in order of
    // first appearance: for the filter choices.
    std::vector<std::string> DistinctValues(int column) const;

    // The courses of `records` as the writers take them.
    std::vector<CourseEntry> Entries(const std::vector<std::uint32_t>& records) const;

  private:
    static constexpr std::size_t kStride = kResultsColumnCount + 1;

    // As kept: code-page-932 bytes for the 31 values of the CSV, UTF-8
    // for the others; empty for those told from other values.
    std::string_view Stored(std::uint32_t record, int column) const;
    void Clear();
    // Reads `file` as Open does; without `searchable`, only the values are
    // kept (no search texts, ratings or marks): enough for EntryOf.
    bool Read(const std::filesystem::path& file, bool searchable, std::string& error);
    void Append(const CourseEntry& entry);
    void AppendValues(const CourseEntry& entry);
    void AppendFrom(const ResultsTable& other, std::uint32_t record);
    CourseEntry EntryOf(std::uint32_t record) const;
    bool Passes(std::uint32_t record) const;
    void Refilter();

    std::string bytes_;
    std::vector<std::uint32_t>
        offsets_;         // kStride per record: where each value begins, and the end
    std::string folded_;  // 名称 and 住所 of each record, folded for the search
    std::vector<std::uint32_t> foldedEnds_;
    std::vector<float> ratings_;  // NaN where no 評価
    std::vector<CourseFetch> fetches_;
    std::vector<ChangeMark> marks_;
    // Changed records: the columns that changed, with their earlier values.
    std::unordered_map<std::uint32_t, std::vector<ColumnChange>> changedColumns_;

    std::size_t fileRecords_ = 0;
    OutputFormat format_ = OutputFormat::Csv;
    bool compared_ = false;
    ChangeSummary summary_;
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> view_;
    ResultsFilter filter_;
    std::string foldedSearch_;
    std::string storedState_;  // code page 932
};

// Writes the courses of `records` to `path` in `format`, as a run writes
// them; a complete new file replaces an old one. False and the reason.
bool SaveRecords(const ResultsTable& table, const std::vector<std::uint32_t>& records,
                 const std::filesystem::path& path, OutputFormat format, std::string& error);

}  // namespace teebasket::results
