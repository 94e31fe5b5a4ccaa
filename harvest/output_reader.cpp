// The courses of an output file of any format.
#include <array>
#include <optional>

#include "JournalCodec.h"
#include "OutputColumns.h"
#include "OutputReader.h"
#include "csv_fields.h"
#include "path_text.h"
#include "whole_file.h"
#include "xlsx_reader.h"

namespace teebasket {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kZipStart = "PK\x03\x04";
constexpr std::size_t kMaxColumns = 1024;

// Where each read column (IsReadColumn) stands in a file's header, or -1.
using ColumnPlaces = std::array<int, kOutputColumnCount>;

// The places of the named columns in `header` (UTF-8 names); the first of
// two equal names counts (files of earlier versions name columns 34 and 36
// ホール数 and 口コミ数, as 14 and 28). False when the detail-page URL is not
// among them.
bool PlacesOfHeader(const std::vector<std::string>& header, ColumnPlaces& places) {
    places.fill(-1);
    for (std::size_t at = 0; at < header.size(); ++at) {
        const int column = OutputColumnOfHeader(header[at]);
        if (column >= 0 && places[column] < 0) {
            places[column] = static_cast<int>(at);
        }
    }
    return places[kColumnDetailUrl] >= 0;
}

// A course from a row of texts placed as `places` says; false for a row
// with nothing in it.
bool EntryOfRow(const std::vector<std::string>& row, const ColumnPlaces& places, bool csvGuard,
                CourseEntry& entry) {
    bool any = false;
    std::array<std::string, kOutputColumnCount> texts;
    for (int column = 0; column < kOutputColumnCount; ++column) {
        const int place = places[column];
        if (place >= 0 && static_cast<std::size_t>(place) < row.size()) {
            texts[column] = csvGuard ? csv::WithoutFormulaGuard(row[place]) : row[place];
            any = any || !texts[column].empty();
        }
    }
    if (any) {
        entry = EntryFromTexts(texts);
    }
    return any;
}

bool ReadCp932Csv(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error) {
    return ReadJournal(JournalCodecFor(OutputFormat::Csv), bytes, entries, error) ||
           (error = "a code-page-932 CSV file: " + error, false);
}

bool ReadUtf8Csv(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error) {
    if (bytes.starts_with(kUtf8Bom)) {
        bytes.remove_prefix(kUtf8Bom.size());
    }
    std::size_t at = 0;
    std::vector<std::string> fields;
    ColumnPlaces places;
    if (!csv::ReadRecord(bytes, at, fields, kMaxColumns) || !PlacesOfHeader(fields, places)) {
        error = "a UTF-8 CSV file without the column 詳細ページURL in its header";
        return false;
    }
    for (int line = 2; at < bytes.size(); ++line) {
        if (!csv::ReadRecord(bytes, at, fields, kMaxColumns)) {
            error = "a UTF-8 CSV file whose record " + std::to_string(line) + " is broken";
            return false;
        }
        CourseEntry entry;
        if (EntryOfRow(fields, places, true, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return true;
}

bool ReadJsonLines(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Jsonl);
    int lineNumber = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find('\n', at);
        std::string_view line = bytes.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? bytes.size() : end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos) {
            continue;
        }
        CourseEntry entry;
        if (!codec.Read(line, entry)) {
            error = "a JSON Lines file whose line " + std::to_string(lineNumber) +
                    " is not a course with a detail_url";
            return false;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

bool ReadWorkbook(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error) {
    std::string sheet;
    std::string problem;
    if (!xlsx::ReadZipMember(bytes, "xl/worksheets/sheet1.xml", kMaxOutputFileBytes, sheet,
                             problem)) {
        error = "a zip file that is not a workbook of this program: " + problem;
        return false;
    }
    std::vector<std::string> shared;
    if (xlsx::HasZipMember(bytes, "xl/sharedStrings.xml")) {
        std::string xml;
        if (!xlsx::ReadZipMember(bytes, "xl/sharedStrings.xml", kMaxOutputFileBytes, xml,
                                 problem) ||
            !xlsx::ReadSharedStrings(xml, shared, problem)) {
            error = "a workbook whose shared strings cannot be read: " + problem;
            return false;
        }
    }
    // Date cells (取得日時) read back as the ISO text they were written from.
    std::vector<xlsx::DateStyle> dateStyles;
    if (xlsx::HasZipMember(bytes, "xl/styles.xml")) {
        std::string xml;
        if (!xlsx::ReadZipMember(bytes, "xl/styles.xml", xlsx::kMaxStylesBytes, xml, problem) ||
            !xlsx::ReadDateStyles(xml, dateStyles, problem)) {
            error = "a workbook whose styles cannot be read: " + problem;
            return false;
        }
    }
    std::vector<std::vector<std::string>> rows;
    if (!xlsx::ReadSheetRows(sheet, shared, kMaxColumns, rows, problem, dateStyles)) {
        error = "a workbook whose sheet cannot be read: " + problem;
        return false;
    }
    std::string().swap(sheet);  // the rows hold it all now
    ColumnPlaces places;
    if (rows.empty() || !PlacesOfHeader(rows.front(), places)) {
        error = "a workbook without the column 詳細ページURL in its first row";
        return false;
    }
    for (std::size_t index = 1; index < rows.size(); ++index) {
        CourseEntry entry;
        if (EntryOfRow(rows[index], places, false, entry)) {
            entries.push_back(std::move(entry));
        }
        std::vector<std::string>().swap(rows[index]);
    }
    return true;
}

}  // namespace

bool ReadOutputBytes(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error,
                     OutputFormat* format) {
    entries.clear();
    std::optional<OutputFormat> found;
    bool read = false;
    if (bytes.starts_with(kZipStart)) {
        found = OutputFormat::Xlsx;
        read = ReadWorkbook(bytes, entries, error);
    } else if (bytes.starts_with(CsvHeaderLine())) {
        found = OutputFormat::Csv;
        read = ReadCp932Csv(bytes, entries, error);
    } else if (bytes.starts_with(kUtf8Bom) ||
               bytes.substr(0, bytes.find('\n')).find("詳細ページURL") != std::string_view::npos) {
        found = OutputFormat::CsvUtf8;
        read = ReadUtf8Csv(bytes, entries, error);
    } else if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos ||
               bytes[bytes.find_first_not_of(" \t\r\n")] == '{') {
        found = OutputFormat::Jsonl;
        read = ReadJsonLines(bytes, entries, error);
    } else {
        error = "not an output file of this program (CSV, UTF-8 CSV, JSON Lines or workbook)";
    }
    if (!read) {
        entries.clear();
        return false;
    }
    if (format != nullptr && found) {
        *format = *found;
    }
    return true;
}

bool ReadOutputFile(const std::filesystem::path& path, std::vector<CourseEntry>& entries,
                    std::string& error, OutputFormat* format) {
    const WholeFileRead file = ReadWholeFile(path, kMaxOutputFileBytes);
    switch (file.status) {
        case WholeFileRead::Status::Read:
            break;
        case WholeFileRead::Status::Missing:
            error = PathText(path) + ": no such file";
            return false;
        case WholeFileRead::Status::IsFolder:
            error = PathText(path) + ": a folder, not a file";
            return false;
        case WholeFileRead::Status::IsLink:
        case WholeFileRead::Status::NotRegular:
            error = PathText(path) + ": not a regular file";
            return false;
        case WholeFileRead::Status::TooLarge:
            error = PathText(path) + ": larger than 256 MiB";
            return false;
        case WholeFileRead::Status::Failed:
            error = PathText(path) + ": " + file.systemError;
            return false;
    }
    if (!ReadOutputBytes(file.bytes, entries, error, format)) {
        error = PathText(path) + ": " + error;
        return false;
    }
    return true;
}

}  // namespace teebasket
