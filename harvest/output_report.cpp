// The compare report: a terminal summary and the report file.
#include <nlohmann/json.hpp>

#include <cstdio>

#include "OutputColumns.h"
#include "OutputCompare.h"
#include "Workbook.h"
#include "csv_fields.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket {
namespace {

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
            visit(ReportRow{change.name, change.detailUrl, KindText(change.kind), "", "", ""},
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
        std::to_string(result.unchanged) + " (new, no longer listed, changed, unchanged)\n";
    if (result.unmatchedOld + result.unmatchedNew > 0) {
        line +=
            "詳細ページURLがないか重複している行 / Rows without a detail URL or with a repeated "
            "one, not compared: " +
            std::to_string(result.unmatchedOld) + " old, " + std::to_string(result.unmatchedNew) +
            " new\n";
    }
    return line;
}

std::string TextReport(const CompareResult& result) {
    std::string text = CountsLine(result);
    for (const CourseChange& change : result.changes) {
        text += std::string(1, KindMark(change.kind)) + " " + KindText(change.kind) + " " +
                Printable(change.name) + " " + Printable(change.detailUrl) + "\n";
        for (const ColumnChange& column : change.columns) {
            text += "    " + std::string(OutputColumns[column.column].header) + ": " +
                    Printable(column.oldValue) + " → " + Printable(column.newValue) + "\n";
        }
    }
    return text;
}

}  // namespace

std::string CompareSummary(const CompareResult& result) {
    std::string text = CountsLine(result);
    for (const CourseChange& change : result.changes) {
        text += std::string(1, KindMark(change.kind)) + " " + Printable(change.name) + " " +
                Printable(change.detailUrl);
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
                        std::string& error) {
    const ReportFormat format = ReportFormatOfPath(path);
    if (format != ReportFormat::Xlsx) {
        const WholeFileReplace written = ReplaceWholeFile(path, ReportBytes(result, format));
        if (written.status != WholeFileReplace::Status::Replaced) {
            error = PathText(path) + ": " + written.systemError;
            return false;
        }
        return true;
    }
    std::vector<ReportRow> rows;
    ForEachReportRow(result, [&](const ReportRow& row, const CourseChange&, const ColumnChange*) {
        rows.push_back(row);
    });
    const auto rowAt = [&rows](std::size_t index, std::vector<SheetCell>& cells) {
        for (std::size_t column = 0; column < cells.size() && column < rows[index].size();
             ++column) {
            cells[column].text = rows[index][column];
        }
    };
    WrittenWorkbook workbook;
    if (!WriteSheetWorkbook(path, "変更", ReportHeader(), rows.size(), rowAt, workbook, error)) {
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
