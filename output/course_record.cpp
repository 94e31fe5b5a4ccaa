// CourseRecord and the lines of the code-page-932 CSV.
#include "CourseRecord.h"
#include "MECSUtils.h"
#include "csv_fields.h"

namespace teebasket {

const std::array<std::string_view, kColumnCount> ColumnHeaderNames = {
    "名称",          "郵便番号",     "住所",
    "電話番号",      "FAX番号",      "車アクセス",
    "休場日",        "支払い方法",   "ポイントクーポン等",
    "シューズ指定",  "服装指定",     "コンペルーム",
    "宿泊施設",      "宅配便",       "ホール数",
    "距離",          "パー",         "種別",
    "グリーン数",    "グリーン",     "コース高低差",
    "面積",          "コース",       "設計者",
    "ドラコン推奨",  "ニアピン推奨", "運営状況",
    "評価",          "口コミ数",     "口コミページURL",
    "詳細ページURL",
};

namespace {

const std::string& OperatingStateAnsi() {
    static const std::string state = UTF8ToAnsi("運営中");
    return state;
}

}  // namespace

CourseRecord::CourseRecord() {
    values[kColumnState] = OperatingStateAnsi();
}

std::string CsvHeaderLine() {
    std::string line;
    for (int column = 0; column < kColumnCount; ++column) {
        if (column > 0) {
            line.push_back(',');
        }
        csv::AppendQuoted(line, UTF8ToAnsi(std::string(ColumnHeaderNames[column])));
    }
    return line;
}

std::string CourseLine(const CourseRecord& record) {
    std::string line;
    for (const std::string& value : record.values) {
        // A leading apostrophe makes the spreadsheet show the value as text.
        csv::AppendQuoted(line, csv::CouldBeFormula(value) ? "'" + value : value);
        line.push_back(',');
    }
    return line;
}

bool ReadCourseLine(std::string_view line, CourseRecord& record) {
    if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return false;
    }
    std::size_t at = 0;
    for (std::string& value : record.values) {
        if (at >= line.size() || line[at] != '"') {
            return false;
        }
        value.clear();
        // As in AppendQuoted, a byte-wise scan is safe: 0x22 is never the
        // second byte of a code-page-932 character.
        for (++at;; ++at) {
            if (at >= line.size()) {
                return false;  // the closing quote is missing
            }
            if (line[at] == '"') {
                if (at + 1 < line.size() && line[at + 1] == '"') {
                    value.push_back('"');
                    ++at;
                    continue;
                }
                break;
            }
            value.push_back(line[at]);
        }
        if (++at >= line.size() || line[at] != ',') {
            return false;
        }
        ++at;
    }
    return at == line.size();
}

}  // namespace teebasket

namespace teebasket {

bool HoldsPageFacts(const CourseRecord& record) {
    for (int column = 0; column < kColumnCount; ++column) {
        const bool ownValue = column != kColumnName && column != kColumnState &&
                              column != kColumnReviewUrl && column != kColumnDetailUrl;
        if (ownValue && !record[column].empty()) {
            return true;
        }
    }
    return !record[kColumnState].empty() && !record[kColumnName].empty();
}

}  // namespace teebasket
