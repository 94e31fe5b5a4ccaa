// Reading outputs back for compare: every format by its content, files that
// a spreadsheet saved again, and files that are not outputs at all.
#include <gtest/gtest.h>

#include "EarlierFile.h"
#include "FormatEntries.h"
#include "OutputColumns.h"
#include "OutputReader.h"
#include "whole_file.h"
#include "xlsx_reader.h"

using namespace teebasket;
using namespace teebasket::test;
namespace fs = std::filesystem;

namespace {

constexpr OutputFormat kFormats[] = {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl,
                                     OutputFormat::Xlsx};

std::vector<CourseEntry> TestEntries() {
    std::vector<CourseEntry> entries = DemoEntries({0, 12}, 6);
    entries.push_back(AwkwardEntry());
    entries.push_back(FailedEntry());
    return entries;
}

}  // namespace

TEST(OutputReader, ReadsEveryFormatBackToTheSameCourses) {
    const TempDir dir;
    const std::vector<CourseEntry> entries = TestEntries();
    for (const OutputFormat format : kFormats) {
        const fs::path path = dir.path() / ("out-" + std::string(OutputFormatName(format)));
        WriteOutput(path, format, entries);
        std::vector<CourseEntry> read;
        std::string error;
        OutputFormat detected = OutputFormat::Csv;
        ASSERT_TRUE(ReadOutputFile(path, read, error, &detected)) << error;
        EXPECT_EQ(detected, format);
        ASSERT_EQ(read.size(), entries.size()) << OutputFormatName(format);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(read[i].record.values, entries[i].record.values)
                << OutputFormatName(format) << " course " << i;
            if (format != OutputFormat::Csv) {
                EXPECT_EQ(read[i].prefecture, entries[i].prefecture);
                EXPECT_EQ(read[i].courseId, entries[i].courseId);
                EXPECT_EQ(read[i].fetchedAt, entries[i].fetchedAt) << OutputFormatName(format);
                EXPECT_EQ(read[i].fetchStatus, entries[i].fetchStatus);
                EXPECT_EQ(read[i].latitude, entries[i].latitude);
                EXPECT_EQ(read[i].longitude, entries[i].longitude);
            } else {
                // No 取得状況 in this CSV: a row of only the card's name is
                // a failed page, a kept row reads as fetched.
                EXPECT_EQ(read[i].fetchStatus, entries[i].fetchStatus == CourseFetch::Failed
                                                   ? CourseFetch::Failed
                                                   : CourseFetch::Fetched);
            }
        }
    }
}

TEST(OutputReader, ReadsTheFilesOfEarlierVersions) {
    // A UTF-8 CSV of 37 columns names the number columns as the text ones,
    // whose column comes first; a page not read had no name and 運営中.
    const TempDir dir;
    const fs::path path = dir.path() / "earlier.csv";
    WriteFileBytes(
        path,
        "\xEF\xBB\xBF名称,ホール数,運営状況,口コミ数,詳細ページURL,取得日時,ホール数,口コミ数\r\n"
        "大洗,18ホール,運営中,52件,https://h/1,2026-12-09T13:45:02+09:00,18,52\r\n"
        ",,運営中,,https://h/2,2026-12-09T13:45:03+09:00,,\r\n");
    std::vector<CourseEntry> read;
    std::string error;
    ASSERT_TRUE(ReadOutputFile(path, read, error)) << error;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(Utf8FromCp932(read[0].record[kColumnHoles]), "18ホール");
    EXPECT_EQ(Utf8FromCp932(read[0].record[kColumnReviewCount]), "52件");
    EXPECT_EQ(read[0].fetchStatus, CourseFetch::Fetched);
    EXPECT_EQ(read[1].fetchStatus, CourseFetch::Failed);

    // A run (or --resume) on such a file takes its rows, written anew.
    EarlierFile earlier;
    ASSERT_FALSE(ReadEarlierOutput(path, earlier, OutputFormat::CsvUtf8));
    ASSERT_EQ(earlier.lines.size(), 2u);
    EXPECT_TRUE(earlier.lines[0].holdsPageFacts);
    CourseEntry again;
    ASSERT_TRUE(JournalCodecFor(OutputFormat::CsvUtf8).Read(earlier.lines[0].bytes, again));
    EXPECT_EQ(again.record.values, read[0].record.values);
    EXPECT_EQ(again.fetchedAt, read[0].fetchedAt);
}

TEST(OutputReader, TakesColumnsByNameAsASpreadsheetMaySaveThem) {
    // No BOM, LF line ends, columns reordered and thinned, a value over two
    // lines, unquoted values.
    const std::string csv =
        "詳細ページURL,名称,評価,運営状況\n"
        "https://h/guide/disp/c_id/1,\"二行\r\nの名前\",4.5,閉鎖\n"
        "\n"
        "https://h/guide/disp/c_id/2,'=1+2,,運営中\n";
    std::vector<CourseEntry> read;
    std::string error;
    ASSERT_TRUE(ReadOutputBytes(csv, read, error)) << error;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(Utf8FromCp932(read[0].record[kColumnName]), "二行\r\nの名前");
    EXPECT_EQ(read[0].record[kColumnRating], "4.5");
    EXPECT_EQ(Utf8FromCp932(read[0].record[kColumnState]), "閉鎖");
    EXPECT_EQ(read[1].record[kColumnName], "=1+2");
    EXPECT_EQ(read[1].record[kColumnDetailUrl], "https://h/guide/disp/c_id/2");

    const std::string jsonl =
        "{\"detail_url\":\"https://h/1\",\"rating\":4.5,\"par\":72,\"name\":null}\r\n\n";
    ASSERT_TRUE(ReadOutputBytes(jsonl, read, error)) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].record[kColumnRating], "4.5");
    EXPECT_EQ(read[0].record[16], "72");
}

TEST(OutputReader, RefusesWhatIsNotAnOutputWithAReason) {
    const TempDir dir;
    std::string workbook;
    WriteOutput(dir.path() / "w.xlsx", OutputFormat::Xlsx, DemoEntries({12}, 2));
    workbook = ReadFileBytes(dir.path() / "w.xlsx");

    // A byte of the sheet's compressed data changed: its checksum tells.
    std::string flipped = workbook;
    const std::size_t sheet = flipped.find("xl/worksheets/sheet1.xml") + 24 + 40;
    flipped[sheet] = static_cast<char>(flipped[sheet] ^ 0x55);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"text", "Hello, world\n"},
        {"csv without the url", "\"名称\",\"住所\"\r\n\"a\",\"b\"\r\n"},
        {"broken quote", "名称,詳細ページURL\r\n\"a,b\r\n"},
        {"json array", "[1,2]\n"},
        {"json without url", "{\"name\":\"x\"}\n"},
        {"json of another kind", "{\"detail_url\":[1]}\n"},
        {"zip cut short", workbook.substr(0, workbook.size() / 2)},
        {"zip end only", workbook.substr(workbook.size() - 22)},
        {"zip with a flipped byte", flipped},
        {"bare zip signature", "PK\x03\x04"},
        {"cp932 csv with an edited line",
         CsvHeaderLine() + "\r\n" + "\"a\",\"b\"\r\n" + CourseLine(CourseRecord()) + "\r\n"},
    };
    for (const auto& [what, bytes] : cases) {
        std::vector<CourseEntry> read;
        std::string error;
        EXPECT_FALSE(ReadOutputBytes(bytes, read, error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_TRUE(read.empty()) << what;
    }
    std::vector<CourseEntry> read;
    std::string error;
    EXPECT_FALSE(ReadOutputFile(dir.path() / "missing.csv", read, error));
    EXPECT_NE(error.find("no such file"), std::string::npos) << error;
    EXPECT_FALSE(ReadOutputFile(dir.path(), read, error));
#ifndef _WIN32
    // Larger than the bound: a sparse file costs no disk.
    const fs::path large = dir.path() / "large.jsonl";
    WriteFileBytes(large, "{");
    fs::resize_file(large, kMaxOutputFileBytes + 1);
    EXPECT_FALSE(ReadOutputFile(large, read, error));
    EXPECT_NE(error.find("64 MiB"), std::string::npos) << error;
#endif
}

TEST(OutputReader, KeepsOnlyCoursesAndRefusesWhatIsOutOfProportion) {
    std::vector<CourseEntry> read;
    std::string error;
    std::size_t withoutUrl = 0;

    // Rows of one character and no URL are counted, not kept.
    std::string rows = "\xEF\xBB\xBF\"名称\",\"詳細ページURL\"\r\n";
    for (int i = 0; i < 10000; ++i) {
        rows += "x\n";
    }
    rows += "y,https://h/guide/disp/c_id/1\n";
    ASSERT_TRUE(ReadOutputBytes(rows, read, error, nullptr, &withoutUrl)) << error;
    EXPECT_EQ(read.size(), 1u);
    EXPECT_EQ(withoutUrl, 10000u);

    std::string manyCourses;
    for (std::size_t n = 0; n <= kMaxCourses; ++n) {
        manyCourses += "{\"detail_url\":\"u" + std::to_string(n) + "\"}\n";
    }
    const std::string longValue(kMaxValueBytes + 1, 'a');
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"", "an empty file"},
        {" \r\n\t\n", "a blank file"},
        {manyCourses, "more than " + std::to_string(kMaxCourses) + " courses"},
        {"名称,詳細ページURL\n" + longValue + ",u\n",
         "record 2 holds a value of more than 128 KiB"},
        {"{\"detail_url\":\"u\",\"name\":\"" + longValue + "\"}\n",
         "line 1 holds a value of more than 128 KiB"},
        {"{\"detail_url\":\"u\",\"name\":" + std::string(100000, '[') + "}\n",
         "line 1 is not a course"},
    };
    for (const auto& [bytes, reason] : refused) {
        EXPECT_FALSE(ReadOutputBytes(bytes, read, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_TRUE(read.empty()) << reason;
    }

    // A shared string over the bound is kept only as too long, and refused
    // when a cell refers to it; so is a table of more strings than allowed.
    xlsx::SharedStrings shared;
    ASSERT_TRUE(xlsx::ReadSharedStrings(
        "<sst><si><t>short</t></si><si><t>" + std::string(100, 'x') + "</t></si></sst>", 10, 64,
        shared, error))
        << error;
    std::string_view text;
    EXPECT_FALSE(shared.Text(1, text));
    int visited = 0;
    const auto count = [&visited](long, const std::vector<std::string>&) { return ++visited > 0; };
    const std::string sheet =
        "<sheetData><row r=\"1\"><c t=\"s\"><v>0</v></c></row>"
        "<row r=\"2\"><c t=\"s\"><v>1</v></c></row></sheetData>";
    EXPECT_FALSE(xlsx::ForEachSheetRow(sheet, shared, 16, 64, count, error));
    EXPECT_EQ(visited, 1);
    EXPECT_EQ(error, "a cell in row 2 holds more than 64 bytes");
    xlsx::SharedStrings few;
    EXPECT_FALSE(xlsx::ReadSharedStrings("<sst><si/><si/><si/></sst>", 2, 64, few, error));
    EXPECT_EQ(error, "the workbook has more than 2 shared strings");
}

TEST(OutputReader, HandsCoursesOnWithinTheBoundsItIsGiven) {
    const TempDir folder;
    const std::vector<CourseEntry> entries = DemoEntries({12}, 3);
    for (const OutputFormat format : {OutputFormat::Jsonl, OutputFormat::Xlsx}) {
        const fs::path file = folder.path() / ("run" + std::string(OutputFormatExtension(format)));
        WriteOutput(file, format, entries);
        std::vector<std::string> names;
        const CourseSink take = [&names](CourseEntry&& entry) {
            names.push_back(entry.record[kColumnName]);
        };
        std::string error;
        OutputReadBounds bounds;
        ASSERT_TRUE(ReadOutputFileEach(file, bounds, take, error)) << error;
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[2], entries[2].record[kColumnName]);

        bounds.courses = 2;
        EXPECT_FALSE(ReadOutputFileEach(file, bounds, take, error));
        EXPECT_NE(error.find("more than 2 courses"), std::string::npos) << error;
        bounds = {};
        bounds.fileBytes = 100;
        EXPECT_FALSE(ReadOutputFileEach(file, bounds, take, error));
        EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    }
}

TEST(OutputReader, AWorkbookWhoseSheetInflatesInManyPiecesReadsWhole) {
    const TempDir folder;
    const std::vector<CourseEntry> entries = DemoEntries({0, 12, 26, 46}, 60);
    WriteOutput(folder.path() / "many.xlsx", OutputFormat::Xlsx, entries);
    WriteOutput(folder.path() / "many.jsonl", OutputFormat::Jsonl, entries);
    std::vector<CourseEntry> fromWorkbook;
    std::vector<CourseEntry> fromLines;
    std::string error;
    ASSERT_TRUE(ReadOutputFile(folder.path() / "many.xlsx", fromWorkbook, error)) << error;
    ASSERT_TRUE(ReadOutputFile(folder.path() / "many.jsonl", fromLines, error)) << error;
    ASSERT_EQ(fromWorkbook.size(), entries.size());
    for (std::size_t at = 0; at < entries.size(); ++at) {
        EXPECT_EQ(fromWorkbook[at].record.values, fromLines[at].record.values) << at;
        EXPECT_EQ(fromWorkbook[at].fetchedAt, fromLines[at].fetchedAt) << at;
        EXPECT_EQ(fromWorkbook[at].latitude, fromLines[at].latitude) << at;
    }
}

TEST(WorkbookXml, ReadsSharedInlineAndNumberCellsAsASpreadsheetWritesThem) {
    xlsx::SharedStrings shared;
    std::string error;
    ASSERT_TRUE(xlsx::ReadSharedStrings(
        "<?xml version=\"1.0\"?><sst><si><t>名称</t></si>"
        "<si><r><t>東京</t></r><r><t xml:space=\"preserve\"> &amp; 千葉</t></r>"
        "<rPh sb=\"0\" eb=\"2\"><t>トウキョウ</t></rPh></si><si/>"
        "<si><t>a_x000D__x000A_b _x005F_x0041_</t></si></sst>",
        100, 1024, shared, error))
        << error;
    ASSERT_EQ(shared.size(), 4u);
    std::string_view text;
    EXPECT_TRUE(shared.Text(1, text));
    EXPECT_EQ(text, "東京 & 千葉");
    EXPECT_TRUE(shared.Text(2, text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(shared.Text(3, text));
    EXPECT_EQ(text, "a\r\nb _x0041_");

    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(xlsx::ReadSheetRows(
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
        "<c r=\"C1\" t=\"inlineStr\"><is><t>&#x5B;x&#93;</t></is></c></row>"
        "<row r=\"3\"><c t=\"s\"><v>1</v></c><c><v>4.2999999999999998</v></c><c "
        "t=\"b\"><v>1</v></c>"
        "<c t=\"str\"><f>A1</f><v>=x</v></c><c t=\"s\"><v>99</v></c></row></sheetData></worksheet>",
        shared, 1024, rows, error))
        << error;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"名称", "", "[x]"}));
    EXPECT_TRUE(rows[1].empty());
    EXPECT_EQ(rows[2], (std::vector<std::string>{"東京 & 千葉", "4.3", "TRUE", "=x", ""}));

    // Date cells: the offset comes from the format's literal; a format with
    // a day only in quotes, or none at all, is no date.
    std::vector<xlsx::DateStyle> styles;
    ASSERT_TRUE(xlsx::ReadDateStyles(
        "<styleSheet><numFmts count=\"4\">"
        "<numFmt numFmtId=\"164\" formatCode=\"yyyy-mm-dd hh:mm:ss&quot;+09:00&quot;\"/>"
        "<numFmt numFmtId=\"165\" formatCode=\"0&quot; days&quot;\"/>"
        "<numFmt numFmtId=\"166\" formatCode=\"[$-409]YYYY\\-MM\\-DD\\ "
        "hh:mm:ss&quot;-05:30&quot;\"/>"
        "</numFmts><cellStyleXfs count=\"1\"><xf numFmtId=\"22\"/></cellStyleXfs>"
        "<cellXfs count=\"5\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\" applyNumberFormat=\"1\"/>"
        "<xf numFmtId=\"165\"><alignment/></xf><xf numFmtId=\"22\"/><xf numFmtId=\"166\"/>"
        "</cellXfs></styleSheet>",
        styles, error))
        << error;
    ASSERT_EQ(styles.size(), 5u);
    ASSERT_TRUE(xlsx::ReadSheetRows(
        "<sheetData><row><c s=\"1\"><v>46365.57293981482</v></c><c s=\"2\"><v>3</v></c>"
        "<c s=\"3\"><v>46365.57293981482</v></c><c s=\"4\"><v>46204.99998842592</v></c>"
        "<c s=\"1\"><v>12</v></c><c s=\"1\" t=\"inlineStr\"><is><t>昨日</t></is></c>"
        "<c s=\"9\"><v>1.5</v></c></row></sheetData>",
        shared, 1024, rows, error, styles))
        << error;
    EXPECT_EQ(rows.back(),
              (std::vector<std::string>{"2026-12-09T13:45:02+09:00", "3", "2026-12-09T13:45:02",
                                        "2026-07-01T23:59:59-05:30", "12", "昨日", "1.5"}));
    EXPECT_FALSE(xlsx::ReadSheetRows("<sheetData><row><c t=\"inlineStr\"><is><t>x", shared, 1024,
                                     rows, error));
}

TEST(OutputReader, AJsonLinesFileOfManyPiecesReadsAsItsBytesDo) {
    const TempDir folder;
    const std::vector<CourseEntry> demo = DemoEntries({0, 12, 26, 46}, 60);
    std::vector<CourseEntry> entries;
    while (entries.size() < 2600) {
        CourseEntry entry = demo[entries.size() % demo.size()];
        entry.record[kColumnDetailUrl] += "?" + std::to_string(entries.size());
        entries.push_back(std::move(entry));
    }
    entries.push_back(AwkwardEntry());
    const fs::path file = folder.path() / "large.jsonl";
    WriteOutput(file, OutputFormat::Jsonl, entries);
    ASSERT_GT(fs::file_size(file), 2u << 20) << "the file spans several pieces";

    const auto readBoth = [&file](std::vector<CourseEntry>& fromFile,
                                  std::vector<CourseEntry>& fromBytes, std::string& fileError,
                                  std::string& bytesError) {
        OutputFormat format = OutputFormat::Csv;
        const bool fileRead = ReadOutputFile(file, fromFile, fileError, &format);
        EXPECT_TRUE(!fileRead || format == OutputFormat::Jsonl);
        const WholeFileRead whole = ReadWholeFile(file, 64u << 20);
        EXPECT_EQ(whole.status, WholeFileRead::Status::Read);
        const bool bytesRead = ReadOutputBytes(whole.bytes, fromBytes, bytesError);
        EXPECT_EQ(fileRead, bytesRead);
        return fileRead;
    };
    std::vector<CourseEntry> fromFile;
    std::vector<CourseEntry> fromBytes;
    std::string fileError;
    std::string bytesError;
    ASSERT_TRUE(readBoth(fromFile, fromBytes, fileError, bytesError)) << fileError;
    ASSERT_EQ(fromFile.size(), entries.size());
    ASSERT_EQ(fromBytes.size(), entries.size());
    for (std::size_t at = 0; at < entries.size(); ++at) {
        EXPECT_EQ(fromFile[at].record.values, fromBytes[at].record.values) << at;
        EXPECT_EQ(fromFile[at].fetchedAt, fromBytes[at].fetchedAt) << at;
    }
    EXPECT_EQ(fromFile.back().record.values, entries.back().record.values);

    // A broken last line, without its line end, is told by its number.
    std::string bytes = ReadWholeFile(file, 64u << 20).bytes;
    bytes += "{\"name\":";
    ReplaceWholeFile(file, bytes);
    EXPECT_FALSE(readBoth(fromFile, fromBytes, fileError, bytesError));
    EXPECT_TRUE(fromFile.empty());
    const std::string line = "line " + std::to_string(entries.size() + 1) + " ";
    EXPECT_NE(fileError.find(line), std::string::npos) << fileError;
    EXPECT_NE(bytesError.find(line), std::string::npos) << bytesError;
}

TEST(WorkbookXml, RowRunsEndWhereRowsEndWhereverThePiecesAreCut) {
    const std::string xml =
        "<sheetData><row r=\"1\"><c><v>1</v></c></row><row r=\"2\"/><row r=\"3\"></row>"
        "<row r=\"4\"><c t=\"inlineStr\"><is><t>東京</t></is></c></row></sheetData>";
    for (std::size_t size = 1; size <= xml.size(); ++size) {
        std::vector<std::string> runs;
        xlsx::RowRuns cutter([&runs](std::string_view run) {
            runs.emplace_back(run);
            return true;
        });
        for (std::size_t at = 0; at < xml.size(); at += size) {
            ASSERT_TRUE(cutter.Take(std::string_view(xml).substr(at, size)));
        }
        ASSERT_TRUE(cutter.Finish());
        std::string joined;
        for (std::size_t run = 0; run < runs.size(); ++run) {
            joined += runs[run];
            if (run + 1 < runs.size()) {
                EXPECT_TRUE(runs[run].ends_with("</row>")) << size << ": " << runs[run];
            }
        }
        EXPECT_EQ(joined, xml) << size;
        EXPECT_EQ(runs.back(), "</sheetData>") << size;
    }
    xlsx::RowRuns refusing([](std::string_view) { return false; });
    EXPECT_TRUE(refusing.Take("<sheetData><row>"));
    EXPECT_FALSE(refusing.Take("</row>"));
}
