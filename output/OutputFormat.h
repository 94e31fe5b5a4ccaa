// OutputFormat: the file formats a run can write, and one course as every
// format writes it.
//
//   Csv      code page 932, the original CSV: 31 quoted values and a trailing
//            comma per line, CR LF (the default; its bytes never change)
//   CsvUtf8  UTF-8 with a BOM, RFC 4180, CR LF, the 40 columns of
//            OutputColumns.h
//   Jsonl    JSON Lines: one object per course, LF
//   Xlsx     an Excel workbook with one sheet
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "CourseRecord.h"

namespace teebasket {

enum class OutputFormat { Csv, CsvUtf8, Jsonl, Xlsx };

// The format that a --format name stands for: csv, csv-utf8, jsonl or xlsx
// (ASCII, any case); nothing for another name.
std::optional<OutputFormat> ParseOutputFormat(std::string_view name);

// The --format name of `format`.
std::string_view OutputFormatName(OutputFormat format);

// The format that an output path's extension says, in any case: .xlsx gives
// Xlsx, .jsonl gives Jsonl; nothing for any other name (the caller's
// default, Csv, then holds). A .csv name says nothing about which CSV.
std::optional<OutputFormat> OutputFormatOfPath(const std::filesystem::path& path);

// The extension, with its dot, that a file of `format` carries: ".csv" for
// both CSVs, ".jsonl", ".xlsx".
std::string_view OutputFormatExtension(OutputFormat format);

// Whether a course's values come from its page read by this run, from the
// earlier file's row for the same course (its page could not be read this
// time), or from nowhere (its page could not be read and no earlier row was
// there: only its name from the listing card and its detail-page URL).
enum class CourseFetch { Fetched, Kept, Failed };

// One course as the output formats write it.
struct CourseEntry {
    // The 31 values, code-page-932 bytes, as extracted: never with the
    // leading ' that the CSV puts before a value that could be a formula.
    CourseRecord record;
    std::string prefecture;  // UTF-8 display name (東京都); empty when unknown
    std::string courseId;    // UTF-8
    std::string fetchedAt;   // ISO 8601 with the offset (2026-12-09T13:45:02+09:00); may be empty
    CourseFetch fetchStatus = CourseFetch::Fetched;
    // The course's position as the page's structured data states it (UTF-8
    // decimal text, "35.6812"); empty when the page gives none.
    std::string latitude;
    std::string longitude;
};

// `when` as local time in ISO 8601 with its offset from UTC, to the second:
// 2026-12-09T13:45:02+09:00 (+00:00 for UTC). Empty when the system cannot
// tell the local time of `when`.
std::string IsoLocalTime(std::time_t when);

}  // namespace teebasket
