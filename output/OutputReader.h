// OutputReader: the courses of an output file of any format, told by its
// content, for comparing two runs (OutputCompare.h).
//
//   code-page-932 CSV  its header line, then course lines as CourseLine
//                      writes them
//   UTF-8 CSV          a header with the column names (a BOM or not), RFC 4180
//   JSON Lines         one object per line with the keys of OutputColumns.h
//   workbook           a zip file: the first sheet, its first row the column
//                      names (shared and inline strings, numbers)
//
// Columns are found by their names (JSON keys), so a file whose columns were
// reordered or thinned by a spreadsheet still reads; the detail-page URL
// must be there. A CSV value that carries the formula guard (a ' before =,
// +, -, @, a tab or a CR) is read without it, so that a CSV and a JSON Lines
// file of the same run give the same values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

// Reading is bounded by the number of courses, whatever the input: no row
// is kept that has no detail-page URL, and beyond these bounds the file is
// refused with the reason rather than read further.
//
// A file larger than this is refused.
inline constexpr std::uintmax_t kMaxOutputFileBytes = 64u << 20;
// The most bytes of one value. A page never yields a value near it, and a
// workbook's cell holds at most 32767 characters (96 KiB in UTF-8).
inline constexpr std::size_t kMaxValueBytes = 128u << 10;
// The most courses of one file: several times every course of the portal
// (a course takes about 1.2 KiB of memory before its values).
inline constexpr std::size_t kMaxCourses = 20000;
// The most bytes of all values of a file's courses together: a course's
// values take about 1.5 KiB.
inline constexpr std::size_t kMaxValueBytesInAll = 32u << 20;
// The most bytes of a workbook's sheet and shared strings, uncompressed.
inline constexpr std::size_t kMaxWorkbookXmlBytes = 96u << 20;

// Reads the courses of the file at `path` into `entries`, in file order.
// False and the reason (UTF-8) when the file cannot be read, is too large,
// empty or blank, beyond a bound above, or not an output of this program;
// `format` then says nothing. Rows with values but no detail-page URL are
// left out and counted in `rowsWithoutUrl`. A row that holds nothing read
// from a course page (HoldsPageFacts) is taken as a course whose page could
// not be read (CourseFetch::Failed).
bool ReadOutputFile(const std::filesystem::path& path, std::vector<CourseEntry>& entries,
                    std::string& error, OutputFormat* format = nullptr,
                    std::size_t* rowsWithoutUrl = nullptr);

// The bounds of one reading. Compare and resume read within the bounds
// above; a table of results that shows one file may allow larger ones,
// since it keeps each course in a compact form as it comes.
struct OutputReadBounds {
    std::uintmax_t fileBytes = kMaxOutputFileBytes;
    std::size_t courses = kMaxCourses;
    std::size_t valueBytesInAll = kMaxValueBytesInAll;
    std::size_t workbookXmlBytes = kMaxWorkbookXmlBytes;
};

// Takes each course as it is read, in file order.
using CourseSink = std::function<void(CourseEntry&&)>;

// ReadOutputFile within `bounds`, handing each course to `sink` instead of
// keeping them. On false, `sink` may have taken some courses already.
bool ReadOutputFileEach(const std::filesystem::path& path, const OutputReadBounds& bounds,
                        const CourseSink& sink, std::string& error, OutputFormat* format = nullptr,
                        std::size_t* rowsWithoutUrl = nullptr);

// The same for a file's bytes (of any size).
bool ReadOutputBytes(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error,
                     OutputFormat* format = nullptr, std::size_t* rowsWithoutUrl = nullptr);

}  // namespace teebasket
