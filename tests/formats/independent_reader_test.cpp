// Every format read back by another program (Python's csv, json, zipfile
// and xml modules, tests/formats/read_outputs.py): the values agree with the
// code-page-932 CSV's, numbers are numbers, the workbook looks as it should;
// and compare's report workbook, sheet by sheet.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <set>

#include "FormatEntries.h"
#include "OutputColumns.h"
#include "OutputCompare.h"
#include "path_text.h"

using namespace teebasket;
using namespace teebasket::test;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

Json ReadWithPython(const std::vector<std::pair<std::string, fs::path>>& files) {
    std::string command = std::string(TEEBASKET_PYTHON3) + " " + TEEBASKET_READ_OUTPUTS_SCRIPT;
    for (const auto& [format, path] : files) {
        command += " '" + format + "=" + PathText(path) + "'";
    }
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    std::string output;
    char buffer[65536];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, count);
    }
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return Json::parse(output, nullptr, false);
}

// The value of the row's column `header` (the first of that name).
const Json& ValueOf(const Json& row, const std::string& header) {
    for (const Json& pair : row) {
        if (pair[0] == header) {
            return pair[1];
        }
    }
    static const Json missing = "(missing)";
    return missing;
}

// A value as text, a number in its shortest form; null as "".
std::string AsText(const Json& value) {
    if (value.is_null()) {
        return "";
    }
    if (value.is_number()) {
        return NumberText(value.get<double>());
    }
    return value.get<std::string>();
}

}  // namespace

TEST(IndependentReader, EveryFormatHoldsTheCsvsValuesAndItsOwnTypes) {
    const TempDir dir;
    std::vector<CourseEntry> entries = DemoEntries({0, 12, 26, 46}, 6);
    entries.push_back(AwkwardEntry());
    entries.push_back(FailedEntry());
    CourseEntry odd = AwkwardEntry();  // a date, and URLs, that a cell cannot take as such
    odd.fetchedAt = "2026-02-30T10:00:00+09:00";
    odd.record[kColumnReviewUrl] = "javascript:alert(1)";
    odd.record[kColumnDetailUrl] = "https://h/" + std::string(kLinkLengthLimit, 'x');
    entries.push_back(odd);
    const std::vector<std::pair<std::string, fs::path>> files = {
        {"csv", dir.path() / "out.csv"},
        {"csv-utf8", dir.path() / "out-utf8.csv"},
        {"jsonl", dir.path() / "out.jsonl"},
        {"xlsx", dir.path() / "out.xlsx"},
    };
    for (const auto& [format, path] : files) {
        WriteOutput(path, *ParseOutputFormat(format), entries);
    }
    const Json read = ReadWithPython(files);
    ASSERT_TRUE(read.is_object());

    const Json& csvRows = read["csv"]["rows"];
    ASSERT_EQ(csvRows.size(), entries.size());
    for (const char* format : {"csv-utf8", "jsonl", "xlsx"}) {
        const Json& rows = read[format]["rows"];
        ASSERT_EQ(rows.size(), entries.size()) << format;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            for (int column = 0; column < kColumnCount; ++column) {
                const std::string header(OutputColumns[column].header);
                const std::string key(OutputColumns[column].key);
                const Json& value = ValueOf(rows[i], format == std::string("jsonl") ? key : header);
                EXPECT_EQ(AsText(value), AsText(ValueOf(csvRows[i], header)))
                    << format << " course " << i << " " << header;
            }
            const OutputRow typed = OutputValues(entries[i]);
            for (int column = kColumnCount; column < kOutputColumnCount; ++column) {
                const Json& value = format == std::string("jsonl")
                                        ? ValueOf(rows[i], std::string(OutputColumns[column].key))
                                        : rows[i][column][1];
                if (column == kColumnFetchStatus && format == std::string("jsonl")) {
                    EXPECT_EQ(AsText(value), FetchStatusKey(entries[i].fetchStatus));
                } else if (typed[column].number) {
                    EXPECT_EQ(value.is_number(), format != std::string("csv-utf8")) << value;
                    EXPECT_EQ(AsText(value), NumberText(*typed[column].number));
                } else {
                    EXPECT_EQ(AsText(value), typed[column].text) << format << " " << column;
                }
            }
        }
    }
    // The numbers of the demo courses are there, as numbers.
    const Json& first = read["jsonl"]["rows"][0];
    EXPECT_TRUE(ValueOf(first, "hole_count").is_number_integer()) << first;
    EXPECT_TRUE(ValueOf(first, "distance_yards").is_number_integer()) << first;
    EXPECT_TRUE(ValueOf(first, "par").is_number()) << first;
    EXPECT_TRUE(ValueOf(first, "rating").is_number()) << first;
    EXPECT_TRUE(ValueOf(first, "postal_code").is_string()) << first;

    const Json& workbook = read["xlsx"];
    EXPECT_EQ(workbook["sheets"], Json::array({"ゴルフ場"}));
    EXPECT_EQ(workbook["formulas"], 0);
    EXPECT_EQ(workbook["frozen"], true);
    EXPECT_EQ(workbook["header_bold"], true);
    EXPECT_EQ(workbook["autofilter"], "A1:AN" + std::to_string(entries.size() + 1));
    ASSERT_EQ(workbook["widths"].size(), static_cast<std::size_t>(kOutputColumnCount));
    for (const Json& width : workbook["widths"]) {
        EXPECT_GE(width.get<double>(), 6);
        EXPECT_LE(width.get<double>(), 60.72);  // 60 and the cell's padding, as stored
    }
    const Json& types = workbook["cell_types"];
    for (const char* header : {"郵便番号", "電話番号", "住所", "名称", "詳細ページURL"}) {
        EXPECT_EQ(types[header], Json::array({"inlineStr"})) << header;
    }
    EXPECT_EQ(types["距離（ヤード）"], Json::array({"n"}));
    EXPECT_EQ(types["評価"], Json::array({"n"}));
    EXPECT_EQ(types["パー"], Json::array({"inlineStr", "n"}));  // "072" stays text
    EXPECT_EQ(types["緯度"], Json::array({"n"}));
    // Read back above as its ISO text; the odd course's stays text.
    EXPECT_EQ(types["取得日時"], Json::array({"date", "inlineStr"}));

    // Both URL columns are links to the URL the cell shows, but the odd ones.
    Json expectedLinks = Json::object();
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        const std::string row = std::to_string(i + 2);
        for (const auto& [column, letters] :
             {std::pair{kColumnReviewUrl, "AD"}, std::pair{kColumnDetailUrl, "AE"}}) {
            if (!entries[i].record[column].empty()) {
                expectedLinks[letters + row] = entries[i].record[column];
            }
        }
    }
    EXPECT_GT(expectedLinks.size(), entries.size());
    EXPECT_EQ(workbook["links"], expectedLinks);
}

TEST(IndependentReader, TheReportWorkbookHasASheetPerKindOfChangeWithTypedCellsAndLinks) {
    const TempDir dir;
    const std::vector<CourseEntry> before = DemoEntries({12}, 5);
    std::vector<CourseEntry> after = before;
    after[0].record[kColumnState] = UTF8ToAnsi("閉鎖");
    after[1].record[kColumnRating] = "3.5";
    after[2] = CourseEntry{};  // its page could not be read
    after[2].record[kColumnName] = before[2].record[kColumnName];
    after[2].record[kColumnState] = "";
    after[2].record[kColumnDetailUrl] = before[2].record[kColumnDetailUrl];
    after[2].fetchStatus = CourseFetch::Failed;
    after.erase(after.begin() + 3);
    after.push_back(DemoEntries({13}, 1).front());
    const CompareResult result = CompareOutputs(before, after);
    std::string error;
    const fs::path report = dir.path() / "report.xlsx";
    ASSERT_TRUE(WriteCompareReport(report, result, {"old.csv", "new.xlsx"}, error)) << error;

    const Json read = ReadWithPython({{"report-xlsx", report}});
    const Json& sheets = read["report-xlsx"]["sheets"];
    std::vector<std::string> names;
    for (const Json& sheet : sheets) {
        names.push_back(sheet["name"]);
    }
    ASSERT_EQ(names, (std::vector<std::string>{"概要", "新規", "掲載終了", "閉鎖", "評価変動",
                                               "変更", "取得できず"}));
    const Json& summary = sheets[0]["rows"];
    EXPECT_EQ(summary[1], Json::array({"旧ファイル", "old.csv"}));
    EXPECT_EQ(summary[2][1], before.back().fetchedAt);
    EXPECT_EQ(summary[3], Json::array({"新ファイル", "new.xlsx"}));
    EXPECT_EQ(summary[5], Json::array({"新規", 1.0}));
    EXPECT_EQ(summary[7], Json::array({"閉鎖", 1.0}));
    EXPECT_EQ(summary[8], Json::array({"評価変動", 1.0}));
    EXPECT_EQ(summary[11], Json::array({"取得できず", 1.0}));

    const auto url = [](const CourseEntry& entry) { return entry.record[kColumnDetailUrl]; };
    const auto name = [](const CourseEntry& entry) {
        return Utf8FromCp932(entry.record[kColumnName]);
    };
    EXPECT_EQ(sheets[1]["rows"][1],
              Json::array({"神奈川県", name(after.back()), url(after.back())}));
    EXPECT_EQ(sheets[1]["links"]["C2"], url(after.back()));
    EXPECT_EQ(sheets[2]["rows"][1][2], url(before[3]));
    EXPECT_EQ(sheets[3]["rows"][1],
              Json::array({"東京都", name(before[0]), "運営中", "閉鎖", url(before[0])}));
    EXPECT_EQ(sheets[3]["links"]["E2"], url(before[0]));
    const Json& rating = sheets[4]["rows"][1];
    EXPECT_TRUE(rating[2].is_number()) << rating;
    EXPECT_EQ(AsText(rating[2]), before[1].record[kColumnRating]);
    EXPECT_EQ(rating[3], 3.5);
    EXPECT_EQ(sheets[5]["rows"].size(), 3u);  // the header, 運営状況 and 評価
    EXPECT_EQ(sheets[5]["rows"][2][2], "評価");
    EXPECT_EQ(sheets[5]["rows"][2][4], 3.5);
    EXPECT_EQ(sheets[6]["rows"][1], Json::array({"東京都", name(before[2]), "新", url(before[2])}));
    EXPECT_EQ(sheets[6]["links"]["D2"], url(before[2]));
}
