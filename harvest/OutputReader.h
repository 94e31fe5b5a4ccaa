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

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

// Files and zip members larger than this are refused.
inline constexpr std::uintmax_t kMaxOutputFileBytes = 256u << 20;

// Reads the courses of the file at `path` into `entries`, in file order.
// False and the reason (UTF-8) when the file cannot be read, is too large,
// or is not an output of this program; `format` then says nothing.
bool ReadOutputFile(const std::filesystem::path& path, std::vector<CourseEntry>& entries,
                    std::string& error, OutputFormat* format = nullptr);

// The same for a file's bytes.
bool ReadOutputBytes(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error,
                     OutputFormat* format = nullptr);

}  // namespace teebasket
