// The compare report: a terminal summary and the report file.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "OutputColumns.h"
#include "OutputCompare.h"
#include "Workbook.h"
#include "csv_fields.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket {
namespace {

constexpr const char* kFailedText = "取得できず";

// For a failed course, which file's page could not be read: 旧, 新 or both.
std::string FailedSides(const CourseChange& change) {
    if (change.failedInOld && change.failedInNew) {
        return "旧・新";
    }
    return change.failedInOld ? "旧" : "新";
}

const std::vector<std::string>& ReportHeader() {
    static const std::vector<std::string> header = {"名称", "詳細ページURL", "変更", "項目", "旧",
                                                    "新"};
    return header;
}

std::string KindText(CourseChangeKind kind) {
    switch (kind) {
        case CourseChangeKind::Added:
            return "新規";
        case CourseChangeKind::Removed:
            return "掲載終了";
        case CourseChangeKind::Failed:
            return kFailedText;
        case CourseChangeKind::Changed:
            break;
    }
    return "変更";
}

std::string KindKey(CourseChangeKind kind) {
    switch (kind) {
        case CourseChangeKind::Added:
            return "added";
        case CourseChangeKind::Removed:
            return "removed";
        case CourseChangeKind::Failed:
            return "failed";
        case CourseChangeKind::Changed:
            break;
    }
    return "changed";
}

char KindMark(CourseChangeKind kind) {
    switch (kind) {
        case CourseChangeKind::Added:
            return '+';
        case CourseChangeKind::Removed:
            return '-';
        case CourseChangeKind::Failed:
            return '?';
        case CourseChangeKind::Changed:
            break;
    }
    return '*';
}

// Text from a file, safe for a terminal: control characters as \xNN.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// The report's rows: one per changed column, one per added or removed
// course.
using ReportRow = std::array<std::string, 6>;

template <typename Visit>
void ForEachReportRow(const CompareResult& result, Visit visit) {
    for (const CourseChange& change : result.changes) {
        if (change.columns.empty()) {
            visit(ReportRow{change.name, change.detailUrl, KindText(change.kind), "",
                            change.failedInOld ? kFailedText : "",
                            change.failedInNew ? kFailedText : ""},
                  change, nullptr);
            continue;
        }
        for (const ColumnChange& column : change.columns) {
            visit(ReportRow{change.name, change.detailUrl, KindText(change.kind),
                            std::string(OutputColumns[column.column].header), column.oldValue,
                            column.newValue},
                  change, &column);
        }
    }
}

std::string CsvLineOf(const std::vector<std::string>& values) {
    std::string line;
    for (std::size_t at = 0; at < values.size(); ++at) {
        if (at > 0) {
            line.push_back(',');
        }
        std::string value = csv::OnOneLine(values[at]);
        if (csv::CouldBeFormula(value)) {
            value.insert(0, 1, '\'');
        }
        csv::AppendQuoted(line, Cp932FromUtf8(value));
    }
    return line + "\r\n";
}

std::string CsvReport(const CompareResult& result) {
    std::string bytes = CsvLineOf(ReportHeader());
    ForEachReportRow(result, [&](const ReportRow& row, const CourseChange&, const ColumnChange*) {
        bytes += CsvLineOf({row.begin(), row.end()});
    });
    return bytes;
}

std::string JsonlReport(const CompareResult& result) {
    std::string bytes;
    ForEachReportRow(
        result, [&](const ReportRow&, const CourseChange& change, const ColumnChange* column) {
            nlohmann::ordered_json object;
            object["name"] = change.name;
            object["detail_url"] = change.detailUrl;
            object["change"] = KindKey(change.kind);
            if (column != nullptr) {
                object["column"] = std::string(OutputColumns[column->column].key);
                object["old"] = column->oldValue;
                object["new"] = column->newValue;
            } else if (change.kind == CourseChangeKind::Failed) {
                object["column"] = nullptr;
                object["old"] = change.failedInOld ? nlohmann::ordered_json("failed") : nullptr;
                object["new"] = change.failedInNew ? nlohmann::ordered_json("failed") : nullptr;
            } else {
                object["column"] = nullptr;
                object["old"] = nullptr;
                object["new"] = nullptr;
            }
            bytes += object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
            bytes += "\n";
        });
    return bytes;
}

std::string CountsLine(const CompareResult& result) {
    std::string line =
        "新規 " + std::to_string(result.added) + " / 掲載終了 " + std::to_string(result.removed) +
        " / 変更 " + std::to_string(result.changed) + " / 変更なし " +
        std::to_string(result.unchanged) + " / 取得できず " + std::to_string(result.failed) +
        " (new, no longer listed, changed, unchanged, page not read)\n";
    if (result.unmatchedOld + result.unmatchedNew > 0) {
        line +=
            "詳細ページURLがないか重複している行 / Rows without a detail URL or with a repeated "
            "one, not compared: " +
            std::to_string(result.unmatchedOld) + " old, " + std::to_string(result.unmatchedNew) +
            " new\n";
    }
    return line;
}

// For a failed course, the files whose page could not be read.
std::string FailedNote(const CourseChange& change) {
    if (change.kind != CourseChangeKind::Failed) {
        return {};
    }
    const char* english = change.failedInOld && change.failedInNew ? "both files"
                          : change.failedInOld                     ? "old file"
                                                                   : "new file";
    return std::string(" (") + kFailedText + ": " + FailedSides(change) +
           " / page not read: " + english + ")";
}

std::string TextReport(const CompareResult& result) {
    std::string text = CountsLine(result);
    for (const CourseChange& change : result.changes) {
        text += std::string(1, KindMark(change.kind)) + " " + KindText(change.kind) + " " +
                Printable(change.name) + " " + Printable(change.detailUrl) + FailedNote(change) +
                "\n";
        for (const ColumnChange& column : change.columns) {
            text += "    " + std::string(OutputColumns[column.column].header) + ": " +
                    Printable(column.oldValue) + " → " + Printable(column.newValue) + "\n";
        }
    }
    return text;
}

// The report workbook's sheets.

SheetCell TextCell(std::string text) {
    SheetCell cell;
    cell.text = std::move(text);
    return cell;
}

SheetCell NumberCell(double number) {
    SheetCell cell;
    cell.text = NumberText(number);
    cell.number = number;
    return cell;
}

SheetCell LinkCell(std::string url) {
    SheetCell cell;
    cell.text = std::move(url);
    cell.link = true;
    return cell;
}

// A value of `column` as its cell: a number where the column holds numbers
// and the whole value is one.
SheetCell ValueCell(int column, const std::string& text) {
    if (OutputColumns[column].type != ColumnType::Text) {
        if (const std::optional<double> number = WholeNumber(text)) {
            return NumberCell(*number);
        }
    }
    return TextCell(text);
}

// A course's changes, each with the column changed when there is one.
struct SheetEntry {
    const CourseChange* change = nullptr;
    const ColumnChange* column = nullptr;
};

template <typename Keep>
std::vector<SheetEntry> EntriesWhere(const CompareResult& result, CourseChangeKind kind,
                                     Keep keep) {
    std::vector<SheetEntry> entries;
    for (const CourseChange& change : result.changes) {
        if (change.kind != kind) {
            continue;
        }
        if (change.columns.empty()) {
            if (keep(nullptr)) {
                entries.push_back({&change, nullptr});
            }
        }
        for (const ColumnChange& column : change.columns) {
            if (keep(&column)) {
                entries.push_back({&change, &column});
            }
        }
    }
    return entries;
}

using CellsOf = std::function<std::vector<SheetCell>(const SheetEntry&)>;

SheetTable TableOf(std::string name, std::vector<std::string> header,
                   std::vector<SheetEntry> entries, CellsOf cellsOf) {
    auto shared = std::make_shared<std::vector<SheetEntry>>(std::move(entries));
    SheetTable table;
    table.name = std::move(name);
    table.header = std::move(header);
    table.rowCount = shared->size();
    table.rowAt = [shared, cellsOf](std::size_t index, std::vector<SheetCell>& cells) {
        std::vector<SheetCell> row = cellsOf((*shared)[index]);
        for (std::size_t at = 0; at < cells.size() && at < row.size(); ++at) {
            cells[at] = std::move(row[at]);
        }
    };
    return table;
}

SheetTable SummarySheet(const CompareResult& result, const CompareFiles& files, std::size_t closed,
                        std::size_t rated) {
    std::vector<std::pair<std::string, SheetCell>> rows = {
        {"旧ファイル", TextCell(files.oldFile)},
        {"旧ファイルの取得日時（最新）", TextCell(result.oldFetchedAt)},
        {"新ファイル", TextCell(files.newFile)},
        {"新ファイルの取得日時（最新）", TextCell(result.newFetchedAt)},
        {"新規", NumberCell(result.added)},
        {"掲載終了", NumberCell(result.removed)},
        {"閉鎖", NumberCell(static_cast<double>(closed))},
        {"評価変動", NumberCell(static_cast<double>(rated))},
        {"変更", NumberCell(result.changed)},
        {"変更なし", NumberCell(result.unchanged)},
        {kFailedText, NumberCell(result.failed)},
        {"比較できない行（旧）", NumberCell(result.unmatchedOld)},
        {"比較できない行（新）", NumberCell(result.unmatchedNew)},
    };
    SheetTable table;
    table.name = "概要";
    table.header = {"項目", "値"};
    table.rowCount = rows.size();
    table.rowAt = [rows](std::size_t index, std::vector<SheetCell>& cells) {
        cells[0] = TextCell(rows[index].first);
        cells[1] = rows[index].second;
    };
    return table;
}

std::vector<SheetTable> ReportSheets(const CompareResult& result, const CompareFiles& files) {
    const auto any = [](const ColumnChange*) { return true; };
    const auto course = [](const SheetEntry& entry) {
        return std::vector<SheetCell>{TextCell(entry.change->prefecture),
                                      TextCell(entry.change->name),
                                      LinkCell(entry.change->detailUrl)};
    };
    const auto oldAndNew = [](const SheetEntry& entry) {
        const ColumnChange& column = *entry.column;
        return std::vector<SheetCell>{
            TextCell(entry.change->prefecture), TextCell(entry.change->name),
            ValueCell(column.column, column.oldValue), ValueCell(column.column, column.newValue),
            LinkCell(entry.change->detailUrl)};
    };
    const auto closed = [](const ColumnChange* column) {
        return column != nullptr && column->column == kColumnState && column->newValue == "閉鎖";
    };
    const auto rating = [](const ColumnChange* column) {
        return column != nullptr && column->column == kColumnRating;
    };
    const std::vector<std::string> courseHeader = {"都道府県", "名称", "詳細ページURL"};
    std::vector<SheetEntry> closedEntries = EntriesWhere(result, CourseChangeKind::Changed, closed);
    std::vector<SheetEntry> ratingEntries = EntriesWhere(result, CourseChangeKind::Changed, rating);
    std::vector<SheetTable> sheets;
    sheets.push_back(SummarySheet(result, files, closedEntries.size(), ratingEntries.size()));
    sheets.push_back(
        TableOf("新規", courseHeader, EntriesWhere(result, CourseChangeKind::Added, any), course));
    sheets.push_back(TableOf("掲載終了", courseHeader,
                             EntriesWhere(result, CourseChangeKind::Removed, any), course));
    sheets.push_back(TableOf("閉鎖",
                             {"都道府県", "名称", "旧運営状況", "新運営状況", "詳細ページURL"},
                             std::move(closedEntries), oldAndNew));
    sheets.push_back(TableOf("評価変動", {"都道府県", "名称", "旧評価", "新評価", "詳細ページURL"},
                             std::move(ratingEntries), oldAndNew));
    sheets.push_back(TableOf("変更", {"都道府県", "名称", "項目", "旧", "新", "詳細ページURL"},
                             EntriesWhere(result, CourseChangeKind::Changed, any),
                             [](const SheetEntry& entry) {
                                 const ColumnChange& column = *entry.column;
                                 return std::vector<SheetCell>{
                                     TextCell(entry.change->prefecture),
                                     TextCell(entry.change->name),
                                     TextCell(std::string(OutputColumns[column.column].header)),
                                     ValueCell(column.column, column.oldValue),
                                     ValueCell(column.column, column.newValue),
                                     LinkCell(entry.change->detailUrl)};
                             }));
    sheets.push_back(
        TableOf(kFailedText, {"都道府県", "名称", "取得できなかったファイル", "詳細ページURL"},
                EntriesWhere(result, CourseChangeKind::Failed, any), [](const SheetEntry& entry) {
                    return std::vector<SheetCell>{
                        TextCell(entry.change->prefecture), TextCell(entry.change->name),
                        TextCell(FailedSides(*entry.change)), LinkCell(entry.change->detailUrl)};
                }));
    return sheets;
}

}  // namespace

std::string CompareSummary(const CompareResult& result) {
    std::string text = CountsLine(result);
    for (const CourseChange& change : result.changes) {
        text += std::string(1, KindMark(change.kind)) + " " + Printable(change.name) + " " +
                Printable(change.detailUrl) + FailedNote(change);
        if (!change.columns.empty()) {
            text += " (";
            for (std::size_t at = 0; at < change.columns.size(); ++at) {
                text += (at > 0 ? ", " : "") +
                        std::string(OutputColumns[change.columns[at].column].header);
            }
            text += ")";
        }
        text += "\n";
    }
    return text;
}

ReportFormat ReportFormatOfPath(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    if (extension == ".csv") {
        return ReportFormat::Csv;
    }
    if (extension == ".xlsx") {
        return ReportFormat::Xlsx;
    }
    if (extension == ".jsonl") {
        return ReportFormat::Jsonl;
    }
    return ReportFormat::Text;
}

std::string ReportBytes(const CompareResult& result, ReportFormat format) {
    switch (format) {
        case ReportFormat::Csv:
            return CsvReport(result);
        case ReportFormat::Jsonl:
            return JsonlReport(result);
        case ReportFormat::Text:
        case ReportFormat::Xlsx:
            break;
    }
    return TextReport(result);
}

bool WriteCompareReport(const std::filesystem::path& path, const CompareResult& result,
                        const CompareFiles& files, std::string& error) {
    const ReportFormat format = ReportFormatOfPath(path);
    if (format != ReportFormat::Xlsx) {
        const WholeFileReplace written = ReplaceWholeFile(path, ReportBytes(result, format));
        if (written.status != WholeFileReplace::Status::Replaced) {
            error = PathText(path) + ": " + written.systemError;
            return false;
        }
        return true;
    }
    WrittenWorkbook workbook;
    if (!WriteSheetsWorkbook(path, ReportSheets(result, files), workbook, error)) {
        error = PathText(path) + ": " + error;
        return false;
    }
    if (const std::error_code problem = PutWorkbookInPlace(workbook, path)) {
        error = PathText(path) + ": " + problem.message();
        return false;
    }
    return true;
}

}  // namespace teebasket
