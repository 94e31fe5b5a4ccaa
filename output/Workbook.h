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
// system (PutWorkbookInPlace, or the run's own file transaction), which
// removes the private folder too.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "OutputFormat.h"
#include "private_folder.h"

namespace teebasket {

// The sheet that WriteWorkbook writes.
inline constexpr std::string_view kCourseSheetName = "ゴルフ場";

// The most characters a cell holds; a longer text is cut there.
inline constexpr std::size_t kCellTextLimit = 32767;

// A workbook written into its private folder, not yet in place. The folder
// is held (FolderHold) until the last copy of this goes.
struct WrittenWorkbook {
    std::filesystem::path file;    // the workbook, inside `folder`
    std::filesystem::path folder;  // the private folder, to remove afterwards
    std::shared_ptr<const FolderHold> hold;
};

// Removes the private folders that workbooks for `target` would be written
// in, in target's folder, that no live process holds: those of runs killed
// while they wrote a workbook.
void RemoveAbandonedWorkbookFolders(const std::filesystem::path& target);

// Writes the workbook of `entries` for `target` into a new private folder
// in target's folder: one sheet "ゴルフ場" with the 40 columns of
// OutputColumns.h, the header row bold and frozen with an autofilter,
// widths that fit the texts (capped), numbers as number cells, 取得日時 as a
// date cell, the two URLs as hyperlinks, and every other value as a text cell
// (never a formula). `target` itself is not
// touched. Returns false and the reason (UTF-8) when the workbook cannot be
// written; no folder is then left behind.
bool WriteWorkbook(const std::filesystem::path& target, const std::vector<CourseEntry>& entries,
                   WrittenWorkbook& written, std::string& error);

// Puts `written` in the place of `target` (MoveFileInPlace) and removes the
// private folder. Returns the system's error, or none; on failure the target
// is as it was and the folder is removed.
std::error_code PutWorkbookInPlace(const WrittenWorkbook& written,
                                   const std::filesystem::path& target);

// A cell of a sheet: a number, or a text (UTF-8), or empty when it is
// neither. A text marked `dateTime` that is an ISO 8601 date-time with its
// offset (2026-12-09T13:45:02+09:00) becomes a date cell; one marked `link`
// that is an http(s) URL becomes a hyperlink. Either stays a text cell when
// it is not such a value.
struct SheetCell {
    std::string text;
    std::optional<double> number;
    bool dateTime = false;
    bool link = false;
};

// Date cells. A workbook's date has no time zone, so the cell holds the wall
// time that the text states (13:45:02 of 2026-12-09), and its number format
// shows the offset as a literal: yyyy-mm-dd hh:mm:ss"+09:00". The reader
// (xlsx_reader.h) gives such a cell back as the same ISO text, taking the
// offset from the cell's format; a date cell whose format names no offset
// (edited in a spreadsheet) reads back without one.
inline constexpr std::string_view kDateTimeFormat = "yyyy-mm-dd hh:mm:ss";

// Hyperlinks: Excel takes URLs of at most 2079 characters and at most 65530
// links in a sheet; URLs beyond either stay text cells.
inline constexpr std::size_t kLinkLengthLimit = 2079;
inline constexpr std::size_t kLinksPerSheetLimit = 65530;

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
