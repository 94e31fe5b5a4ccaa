// OutputColumns: the 40 columns that the UTF-8 CSV, JSON Lines and the
// workbook write, and the typed value of each for one course, computed in one
// place for every format.
//
//   0-30   the CSV's 31 columns, the same values, as UTF-8; パー and 評価 are
//          also numbers when the whole value is one number
//   31-33  都道府県, コースID, 取得日時
//   34-36  ホール数（数値）, 距離（ヤード）, 口コミ数（数値）: the one number that
//          the text of columns 14, 15 and 28 holds ("27ホール" 27,
//          "7,012ヤード" 7012, "52件" 52), absent when it holds none or several
//   37     取得状況: 取得済み / 前回の値 / 取得できず (JSON Lines: fetched /
//          kept / failed), how the values were got (CourseFetch)
//   38-39  緯度, 経度: the course's position, numbers, absent when unknown
//
// Files of earlier versions have columns 0-36 only, with 34 and 36 named
// ホール数 and 口コミ数 like columns 14 and 28; they still read.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "OutputFormat.h"

namespace teebasket {

inline constexpr int kOutputColumnCount = 40;
inline constexpr int kColumnHoles = 14;
inline constexpr int kColumnDistance = 15;
inline constexpr int kColumnPar = 16;
inline constexpr int kColumnPrefecture = 31;
inline constexpr int kColumnCourseId = 32;
inline constexpr int kColumnFetchedAt = 33;
inline constexpr int kColumnHoleCount = 34;
inline constexpr int kColumnDistanceYards = 35;
inline constexpr int kColumnReviewNumber = 36;
inline constexpr int kColumnFetchStatus = 37;
inline constexpr int kColumnLatitude = 38;
inline constexpr int kColumnLongitude = 39;

enum class ColumnType {
    Text,         // always text
    MaybeNumber,  // a number when the whole value is one, otherwise text
    Number,       // a number or absent
};

struct OutputColumn {
    std::string_view header;  // UTF-8, as the CSV header and the workbook show it
    std::string_view key;     // the JSON Lines key: English snake_case
    ColumnType type;
};

extern const std::array<OutputColumn, kOutputColumnCount> OutputColumns;

// One typed value. `text` is the value as text (UTF-8), also for a number
// (its shortest form, "7012", "4.3"); both empty when the value is absent.
struct OutputValue {
    std::string text;
    std::optional<double> number;
    bool Absent() const { return text.empty() && !number; }
};

using OutputRow = std::array<OutputValue, kOutputColumnCount>;

// The 40 values of `entry`.
OutputRow OutputValues(const CourseEntry& entry);

// The number that `utf8` holds as a whole (leading and trailing blanks
// aside), written in the shortest form ("72", "4.3", "-2"); nothing when
// the text is anything else, "072" and "4.30" included, so that the text is
// always the number's own form and nothing is lost.
std::optional<double> WholeNumber(std::string_view utf8);

// The one number in `utf8`: a run of digits (ASCII or full width), with
// commas between groups of three and one decimal point allowed; nothing when
// the text holds no number or more than one.
std::optional<double> OnlyNumber(std::string_view utf8);

// `number` in its shortest form: an integer without a point, otherwise the
// shortest decimal that reads back as the same double ("." as the point).
std::string NumberText(double number);

// Code-page-932 bytes to UTF-8, and back. A character that code page 932
// lacks becomes "?".
std::string Utf8FromCp932(const std::string& cp932);
std::string Cp932FromUtf8(std::string_view utf8);

// Whether a file's column is read back into a course: all but 34-36, which
// follow from the others.
bool IsReadColumn(int column);

// A course from the UTF-8 texts of the read columns as a file holds them
// (the others are not looked at). 取得状況 may be either form (取得済み or
// fetched); when it is empty or unknown, the state is inferred from the
// values (InferredFetch). A position that is not a plain decimal within
// range is left empty.
CourseEntry EntryFromTexts(const std::array<std::string, kOutputColumnCount>& texts);

// The column of `header` (UTF-8) among the read columns, or -1.
int OutputColumnOfHeader(std::string_view header);

// 取得状況 as the CSV and the workbook write it (取得済み, 前回の値, 取得できず),
// and as JSON Lines writes it (fetched, kept, failed).
std::string_view FetchStatusText(CourseFetch fetch);
std::string_view FetchStatusKey(CourseFetch fetch);

// The state that either form of 取得状況 names; nothing for any other text.
std::optional<CourseFetch> FetchStatusOfText(std::string_view text);

// The state of a course read from a file that does not say it (the
// code-page-932 CSV, files of earlier versions): Failed when its values hold
// nothing read from the page (HoldsPageFacts), otherwise Fetched. A kept row
// cannot be told from a fetched one there.
CourseFetch InferredFetch(const CourseRecord& record);

// The shortest text of a latitude (`limit` 90) or longitude (`limit` 180)
// given as `text`: a plain decimal number (an optional minus, digits, an
// optional point with digits; at most 15 digits) whose size is at most
// `limit`. Empty for anything else: exponents, signs other than one minus,
// blanks, NaN, out of range.
std::string CoordinateText(std::string_view text, double limit);

}  // namespace teebasket
