// Workbook: the Excel workbook of a run's courses (libxlsxwriter, constant
// memory: rows go to a temporary file as they are written).
//
// libxlsxwriter opens its file by name with fopen, which follows a symbolic
// link, and would do so in whatever folder it is given. So a workbook is
// never written at a path that someone else could have prepared: it is
// written into a new private folder (mode 0700, PrivateFolder in common/)
// made inside the target's folder, under a fixed name, with the library's
// temporary files in the same folder (on Windows, in %TEMP%). The caller
// then puts the finished file in place with one rename on the same file
// system (PutWorkbookInPlace, or the run's own file transaction), or drops
// it (DiscardWorkbook). Either way the private folder goes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"

namespace teebasket {

// The sheet that WriteWorkbook writes.
inline constexpr std::string_view kCourseSheetName = "ゴルフ場";

// The most characters a cell holds; a longer text is cut there.
inline constexpr std::size_t kCellTextLimit = 32767;

// A workbook written into its private folder, not yet in place.
struct WrittenWorkbook {
    std::filesystem::path file;    // the workbook, inside `folder`
    std::filesystem::path folder;  // the private folder, to remove afterwards
};

// Writes the workbook of `entries` for `target` into a new private folder
// in target's folder: one sheet "ゴルフ場" with the 37 columns of
// OutputColumns.h, the header row bold and frozen with an autofilter,
// widths that fit the texts (capped), numbers as number cells and every
// other value as a text cell (never a formula). `target` itself is not
// touched. Returns false and the reason (UTF-8) when the workbook cannot be
// written; no folder is then left behind.
bool WriteWorkbook(const std::filesystem::path& target, const std::vector<CourseEntry>& entries,
                   WrittenWorkbook& written, std::string& error);

// Puts `written` in the place of `target` (MoveFileInPlace) and removes the
// private folder. Returns the system's error, or none; on failure the target
// is as it was and the folder is removed.
std::error_code PutWorkbookInPlace(const WrittenWorkbook& written,
                                   const std::filesystem::path& target);

// Removes the private folder with the workbook in it.
void DiscardWorkbook(const WrittenWorkbook& written);

// A cell of a sheet: a number, or a text (UTF-8), or empty when it is
// neither. A text marked as a link is written as a hyperlink to itself when
// it is an http(s) URL that a workbook can hold as one, otherwise as text.
struct SheetCell {
    std::string text;
    std::optional<double> number;
    bool link = false;
};

// One sheet of a workbook: `rowAt(i, cells)` fills row i (0-based, below
// the header) and is asked twice per row, once for the widths and once for
// the writing.
struct SheetTable {
    std::string name;
    std::vector<std::string> header;
    std::size_t rowCount = 0;
    std::function<void(std::size_t, std::vector<SheetCell>&)> rowAt;
};

// Any tables as the sheets of one workbook, in order, with the same safety
// and the same look as WriteWorkbook.
bool WriteSheetsWorkbook(const std::filesystem::path& target, const std::vector<SheetTable>& sheets,
                         WrittenWorkbook& written, std::string& error);

// Any one-sheet table as a workbook, with the same safety and the same look
// as WriteWorkbook: `rowAt(i, cells)` fills row i (0-based, below the
// header) and is asked twice per row, once for the widths and once for the
// writing.
bool WriteSheetWorkbook(const std::filesystem::path& target, std::string_view sheetName,
                        const std::vector<std::string>& header, std::size_t rowCount,
                        const std::function<void(std::size_t, std::vector<SheetCell>&)>& rowAt,
                        WrittenWorkbook& written, std::string& error);

}  // namespace teebasket
