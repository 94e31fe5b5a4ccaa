// Workbooks with libxlsxwriter in constant-memory mode, inside a private
// folder.
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

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

constexpr const char* kWorkbookFolderPrefix = ".teebasket-xlsx-";

fs::path FolderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

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

// The number of `count` ASCII digits at `text[at]`, or -1.
int DigitsAt(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// A date-time as the run writes 取得日時: its wall time and its offset.
struct WallTime {
    lxw_datetime when{};
    std::string offset;  // "+09:00"
};

// `iso` when it is exactly YYYY-MM-DDTHH:MM:SS+HH:MM (or -HH:MM), a real
// date from 1901 to 9999 (a workbook's dates before March 1900 are not
// what they seem).
std::optional<WallTime> WallTimeOf(std::string_view iso) {
    if (iso.size() != 25 || iso[4] != '-' || iso[7] != '-' || iso[10] != 'T' || iso[13] != ':' ||
        iso[16] != ':' || (iso[19] != '+' && iso[19] != '-') || iso[22] != ':') {
        return std::nullopt;
    }
    WallTime wall;
    lxw_datetime& when = wall.when;
    when.year = DigitsAt(iso, 0, 4);
    when.month = DigitsAt(iso, 5, 2);
    when.day = DigitsAt(iso, 8, 2);
    when.hour = DigitsAt(iso, 11, 2);
    when.min = DigitsAt(iso, 14, 2);
    const int second = DigitsAt(iso, 17, 2);
    const int offsetHours = DigitsAt(iso, 20, 2);
    const int offsetMinutes = DigitsAt(iso, 23, 2);
    if (when.year < 1901 || when.month < 1 || when.month > 12 || when.day < 1 ||
        when.day > DaysInMonth(when.year, when.month) || when.hour < 0 || when.hour > 23 ||
        when.min < 0 || when.min > 59 || second < 0 || second > 59 || offsetHours < 0 ||
        offsetHours > 23 || offsetMinutes < 0 || offsetMinutes > 59) {
        return std::nullopt;
    }
    when.sec = second;
    wall.offset = std::string(iso.substr(19));
    return wall;
}

// Whether `url` may be a hyperlink: http or https, within Excel's length.
bool IsLinkable(std::string_view url) {
    const auto startsWith = [url](std::string_view scheme) {
        return url.size() > scheme.size() &&
               std::equal(scheme.begin(), scheme.end(), url.begin(),
                          [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + 32 : b); });
    };
    if (!startsWith("http://") && !startsWith("https://")) {
        return false;
    }
    std::size_t characters = 0;
    for (std::size_t at = 0; at < url.size(); ++characters) {
        char32_t codePoint = 0;
        at += DecodeUtf8At(url, at, codePoint);
    }
    return characters <= kLinkLengthLimit;
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

// Writes the cells of one sheet: texts, numbers, date cells with one format
// per offset, and hyperlinks up to the sheet's limit.
class CellWriter {
  public:
    CellWriter(lxw_workbook* workbook, lxw_worksheet* sheet) : workbook_(workbook), sheet_(sheet) {}

    lxw_error Write(lxw_row_t row, lxw_col_t column, const SheetCell& cell) {
        if (cell.number) {
            return worksheet_write_number(sheet_, row, column, *cell.number, nullptr);
        }
        if (cell.text.empty()) {
            return LXW_NO_ERROR;
        }
        if (cell.dateTime) {
            if (std::optional<WallTime> wall = WallTimeOf(cell.text)) {
                if (lxw_format* format = DateFormat(wall->offset)) {
                    return worksheet_write_datetime(sheet_, row, column, &wall->when, format);
                }
            }
        }
        const std::string text = ProtectEscapes(WithinCellLimit(cell.text));
        if (cell.link && links_ < kLinksPerSheetLimit && IsLinkable(cell.text)) {
            const lxw_error result = worksheet_write_url_opt(sheet_, row, column, cell.text.c_str(),
                                                             nullptr, text.c_str(), nullptr);
            if (result == LXW_NO_ERROR) {
                ++links_;
                return result;
            }
            // A URL that the library cannot take (too long once escaped)
            // stays text.
        }
        return worksheet_write_string(sheet_, row, column, text.c_str(), nullptr);
    }

  private:
    // The date-time format that shows `offset` ("+09:00") after the time.
    lxw_format* DateFormat(const std::string& offset) {
        const auto [found, isNew] = dateFormats_.try_emplace(offset, nullptr);
        if (isNew) {
            found->second = workbook_add_format(workbook_);
            if (found->second != nullptr) {
                const std::string code = std::string(kDateTimeFormat) + "\"" + offset + "\"";
                format_set_num_format(found->second, code.c_str());
            }
        }
        return found->second;
    }

    lxw_workbook* workbook_;
    lxw_worksheet* sheet_;
    std::map<std::string, lxw_format*> dateFormats_;
    std::size_t links_ = 0;
};

std::string WriteRows(lxw_workbook* workbook, const SheetTable& table) {
    const std::string& name = table.name;
    const std::vector<std::string>& header = table.header;
    const std::size_t rowCount = table.rowCount;
    const auto& rowAt = table.rowAt;
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
    CellWriter writer(workbook, sheet);
    for (std::size_t row = 0; row < rowCount; ++row) {
        cells.assign(columns, SheetCell{});
        rowAt(row, cells);
        const auto sheetRow = static_cast<lxw_row_t>(row + 1);
        for (lxw_col_t column = 0; column < columns && column < cells.size(); ++column) {
            const lxw_error result = writer.Write(sheetRow, column, cells[column]);
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
    auto hold = std::make_shared<FolderHold>();
    const fs::path parent = FolderOf(target);
    if (std::string problem = MakePrivateFolder(parent, kWorkbookFolderPrefix, folder, *hold);
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
    written = WrittenWorkbook{file, folder, std::move(hold)};
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
        cells[kColumnFetchedAt].dateTime = true;
        cells[kColumnReviewUrl].link = true;
        cells[kColumnDetailUrl].link = true;
    };
    return WriteSheetWorkbook(target, kCourseSheetName, header, entries.size(), rowAt, written,
                              error);
}

std::error_code PutWorkbookInPlace(const WrittenWorkbook& written, const fs::path& target) {
    const std::error_code problem = MoveFileInPlace(written.file, target);
    RemovePrivateFolder(written.folder);
    return problem;
}

void RemoveAbandonedWorkbookFolders(const fs::path& target) {
    RemoveAbandonedPrivateFolders(FolderOf(target), kWorkbookFolderPrefix);
}

}  // namespace teebasket
