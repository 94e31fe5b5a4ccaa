// Workbooks with libxlsxwriter in constant-memory mode, inside a private
// folder.
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "MECSUtils.h"
#include "OutputColumns.h"
#include "SystemText.h"
#include "Workbook.h"
#include "numeric_locale.h"
#include "path_text.h"
#include "private_folder.h"
#include "whole_file.h"

namespace teebasket {

namespace fs = std::filesystem;

namespace {

constexpr double kMinimumWidth = 6;
constexpr double kMaximumWidth = 60;

// The width of `utf8` in Excel's character units, roughly: a character
// beyond U+1000 (kana, kanji, full-width forms) takes two.
double DisplayWidth(std::string_view utf8) {
    double width = 0;
    for (std::size_t at = 0; at < utf8.size() && width < kMaximumWidth;) {
        char32_t codePoint = 0;
        at += DecodeUtf8At(utf8, at, codePoint);
        width += codePoint >= 0x1100 ? 2 : 1;
    }
    return width;
}

// At most kCellTextLimit characters of `utf8`.
std::string_view WithinCellLimit(std::string_view utf8) {
    std::size_t characters = 0;
    for (std::size_t at = 0; at < utf8.size(); ++characters) {
        if (characters == kCellTextLimit) {
            return utf8.substr(0, at);
        }
        char32_t codePoint = 0;
        at += DecodeUtf8At(utf8, at, codePoint);
    }
    return utf8;
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A workbook reads _xHHHH_ in a text as the character U+HHHH (that is how
// control characters are written). A text that holds such a sequence
// literally gets its underscore written as _x005F_, so that it reads back
// as it was.
std::string ProtectEscapes(std::string_view text) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text.find("_x"); at != std::string_view::npos;
         at = text.find("_x", at + 1)) {
        if (at + 7 <= text.size() && IsHex(text[at + 2]) && IsHex(text[at + 3]) &&
            IsHex(text[at + 4]) && IsHex(text[at + 5]) && text[at + 6] == '_') {
            out.append(text.substr(from, at - from));
            out.append("_x005F_");
            from = at + 1;
        }
    }
    if (from == 0) {
        return std::string(text);
    }
    out.append(text.substr(from));
    return out;
}

// The workbook handle, closed (and written) exactly once.
class WorkbookHandle {
  public:
    WorkbookHandle(const std::string& file, const std::string& tmpdir) : tmpdir_(tmpdir) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = tmpdir_.empty() ? nullptr : tmpdir_.data();
        options.use_zip64 = LXW_FALSE;
        workbook_ = workbook_new_opt(file.c_str(), &options);
    }
    ~WorkbookHandle() {
        if (workbook_ != nullptr) {
            workbook_close(workbook_);
        }
    }
    WorkbookHandle(const WorkbookHandle&) = delete;
    WorkbookHandle& operator=(const WorkbookHandle&) = delete;

    lxw_workbook* Get() const { return workbook_; }

    // Writes the file; "" or the reason.
    std::string Close() {
        errno = 0;
        const lxw_error result = workbook_close(workbook_);
        workbook_ = nullptr;
        if (result == LXW_NO_ERROR) {
            return {};
        }
        std::string reason = lxw_strerror(result);
        if (errno != 0) {
            reason += ": " + ErrorNumberText(errno);
        }
        return reason;
    }

  private:
    std::string tmpdir_;
    lxw_workbook* workbook_ = nullptr;
};

// The longest URL that a workbook holds as a link, and the most links of a
// sheet.
constexpr std::size_t kLongestLink = 2079;
constexpr std::size_t kMostLinks = 65530;

bool CanBeLink(std::string_view text) {
    return (text.starts_with("https://") || text.starts_with("http://")) &&
           text.size() <= kLongestLink &&
           text.find_first_of(" \t\r\n\"<>") == std::string_view::npos;
}

std::string WriteRows(lxw_workbook* workbook, const SheetTable& table) {
    const std::string& name = table.name;
    const std::vector<std::string>& header = table.header;
    const std::size_t rowCount = table.rowCount;
    const auto& rowAt = table.rowAt;
    std::size_t links = 0;
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
    lxw_format* bold = workbook_add_format(workbook);
    if (sheet == nullptr || bold == nullptr) {
        return "the sheet could not be made";
    }
    format_set_bold(bold);
    const auto columns = static_cast<lxw_col_t>(header.size());
    if (rowCount + 1 > LXW_ROW_MAX || columns == 0) {
        return "too many rows for a sheet";
    }

    // Widths first: in constant-memory mode every setting of the sheet must
    // come before its first row. The header gets room for the filter button.
    std::vector<double> widths(columns, kMinimumWidth);
    for (lxw_col_t column = 0; column < columns; ++column) {
        widths[column] = std::max(widths[column], DisplayWidth(header[column]) + 3);
    }
    std::vector<SheetCell> cells;
    for (std::size_t row = 0; row < rowCount; ++row) {
        cells.assign(columns, SheetCell{});
        rowAt(row, cells);
        for (lxw_col_t column = 0; column < columns && column < cells.size(); ++column) {
            widths[column] = std::max(widths[column], DisplayWidth(cells[column].text) + 1);
        }
    }
    for (lxw_col_t column = 0; column < columns; ++column) {
        worksheet_set_column(sheet, column, column, std::min(widths[column], kMaximumWidth),
                             nullptr);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, static_cast<lxw_row_t>(rowCount), columns - 1);

    for (lxw_col_t column = 0; column < columns; ++column) {
        const std::string text = ProtectEscapes(WithinCellLimit(header[column]));
        if (worksheet_write_string(sheet, 0, column, text.c_str(), bold) != LXW_NO_ERROR) {
            return "the header could not be written";
        }
    }
    for (std::size_t row = 0; row < rowCount; ++row) {
        cells.assign(columns, SheetCell{});
        rowAt(row, cells);
        const auto sheetRow = static_cast<lxw_row_t>(row + 1);
        for (lxw_col_t column = 0; column < columns && column < cells.size(); ++column) {
            const SheetCell& cell = cells[column];
            lxw_error result = LXW_NO_ERROR;
            if (cell.number) {
                result = worksheet_write_number(sheet, sheetRow, column, *cell.number, nullptr);
            } else if (cell.link && links < kMostLinks && CanBeLink(cell.text) &&
                       worksheet_write_url(sheet, sheetRow, column, cell.text.c_str(), nullptr) ==
                           LXW_NO_ERROR) {
                ++links;
            } else if (!cell.text.empty()) {
                const std::string text = ProtectEscapes(WithinCellLimit(cell.text));
                result = worksheet_write_string(sheet, sheetRow, column, text.c_str(), nullptr);
            }
            if (result != LXW_NO_ERROR) {
                return std::string("a cell could not be written: ") + lxw_strerror(result);
            }
        }
    }
    return {};
}

}  // namespace

bool WriteSheetWorkbook(const fs::path& target, std::string_view sheetName,
                        const std::vector<std::string>& header, std::size_t rowCount,
                        const std::function<void(std::size_t, std::vector<SheetCell>&)>& rowAt,
                        WrittenWorkbook& written, std::string& error) {
    return WriteSheetsWorkbook(
        target, {SheetTable{std::string(sheetName), header, rowCount, rowAt}}, written, error);
}

bool WriteSheetsWorkbook(const fs::path& target, const std::vector<SheetTable>& sheets,
                         WrittenWorkbook& written, std::string& error) {
    fs::path folder;
    const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (std::string problem = MakePrivateFolder(parent, ".teebasket-xlsx-", folder);
        !problem.empty()) {
        error = "no private folder could be made in " + PathText(parent) + ": " + problem;
        return false;
    }
    const fs::path file = folder / "workbook.xlsx";
#ifdef _WIN32
    // The library's temporary files take narrow names in the ANSI code page,
    // which a folder name outside it would not survive: they go to %TEMP%.
    const std::string tmpdir;
#else
    const std::string tmpdir = PathText(folder);
#endif
    std::string problem;
    {
        const CNumericLocale numbersWithAPoint;
        WorkbookHandle workbook(PathText(file), tmpdir);
        if (workbook.Get() == nullptr) {
            problem = "the workbook could not be started";
        } else {
            for (const SheetTable& table : sheets) {
                if (problem.empty()) {
                    problem = WriteRows(workbook.Get(), table);
                }
            }
            if (problem.empty()) {
                problem = workbook.Close();
            }
        }
    }
    if (!problem.empty()) {
        RemovePrivateFolder(folder);
        error = "the workbook could not be written: " + problem;
        return false;
    }
    written = WrittenWorkbook{file, folder};
    return true;
}

bool WriteWorkbook(const fs::path& target, const std::vector<CourseEntry>& entries,
                   WrittenWorkbook& written, std::string& error) {
    std::vector<std::string> header;
    for (const OutputColumn& column : OutputColumns) {
        header.emplace_back(column.header);
    }
    const auto rowAt = [&entries](std::size_t index, std::vector<SheetCell>& cells) {
        const OutputRow row = OutputValues(entries[index]);
        for (int column = 0; column < kOutputColumnCount; ++column) {
            // A number's text only sets the width: the cell is a number.
            cells[column].number = row[column].number;
            cells[column].text = row[column].text;
        }
    };
    return WriteSheetWorkbook(target, kCourseSheetName, header, entries.size(), rowAt, written,
                              error);
}

std::error_code PutWorkbookInPlace(const WrittenWorkbook& written, const fs::path& target) {
    const std::error_code problem = MoveFileInPlace(written.file, target);
    RemovePrivateFolder(written.folder);
    return problem;
}

void DiscardWorkbook(const WrittenWorkbook& written) {
    RemovePrivateFolder(written.folder);
}

}  // namespace teebasket
