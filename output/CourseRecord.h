// CourseRecord: the 31 values of one course and their line in the
// code-page-932 CSV.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace teebasket {

inline constexpr int kColumnCount = 31;
inline constexpr int kColumnName = 0;
inline constexpr int kColumnPostalCode = 1;
inline constexpr int kColumnAddress = 2;
inline constexpr int kColumnTelephone = 3;
inline constexpr int kColumnFax = 4;
inline constexpr int kColumnCarAccess = 5;
inline constexpr int kColumnTags = 8;
inline constexpr int kColumnState = 26;
inline constexpr int kColumnRating = 27;
inline constexpr int kColumnReviewCount = 28;
inline constexpr int kColumnReviewUrl = 29;
inline constexpr int kColumnDetailUrl = 30;

// One course: 31 code-page-932 values addressed by column index, all empty but
// the operating state, which starts as 運営中.
struct CourseRecord {
    CourseRecord();
    std::array<std::string, kColumnCount> values;
    std::string& operator[](int column) { return values[column]; }
    const std::string& operator[](int column) const { return values[column]; }
};

// The header names in column order, UTF-8.
extern const std::array<std::string_view, kColumnCount> ColumnHeaderNames;

// The header line in code page 932 (351 bytes), without its line end.
std::string CsvHeaderLine();

// One course line in code page 932, without its line end: 31 quoted values,
// each followed by a comma; a double quote inside a value is doubled, and a
// value longer than one byte that begins with =, +, -, @, a tab or a carriage
// return gets a leading ' so that a spreadsheet never runs it as a formula.
std::string CourseLine(const CourseRecord& record);

// Reads a course line as CourseLine writes it (code-page-932 bytes, without
// its line end) back into its 31 values, doubled quotes made single again;
// values stand as in the file (a formula-safe value keeps its leading ').
// False when the line is anything else: fewer or more values, a value not
// quoted or not followed by its comma, a line break or a NUL byte inside, a
// line torn by a crash.
bool ReadCourseLine(std::string_view line, CourseRecord& record);

// True when `record` holds a value read from the course's page: some column
// other than 名称, 運営状況 and the two URLs is not empty, or 運営状況 and 名称
// both are. (A course whose page could not be read has its name from the
// listing card and an empty 運営状況; earlier versions wrote 運営中 and no
// name for it.)
bool HoldsPageFacts(const CourseRecord& record);

}  // namespace teebasket
