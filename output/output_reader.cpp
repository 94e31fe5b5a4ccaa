// The courses of an output file of any format.
#include <array>
#include <fstream>
#include <optional>

#include "CourseRecord.h"
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

std::string MiB(std::size_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

std::string KiB(std::size_t bytes) {
    return std::to_string(bytes >> 10) + " KiB";
}

std::size_t ValueBytes(const CourseEntry& entry) {
    std::size_t bytes = entry.prefecture.size() + entry.courseId.size() + entry.fetchedAt.size() +
                        entry.latitude.size() + entry.longitude.size();
    for (const std::string& value : entry.record.values) {
        bytes += value.size();
    }
    return bytes;
}

// Where a row stands in its file ("line 12"), told only in a reason.
struct RowPlace {
    const char* label;
    long number;
    std::string Text() const { return label + (" " + std::to_string(number)); }
};

// The courses read so far, handed on within the bounds of a reading.
class CourseIntake {
  public:
    CourseIntake(const OutputReadBounds& bounds, const CourseSink& sink)
        : bounds_(bounds), sink_(sink) {}

    const OutputReadBounds& bounds() const { return bounds_; }

    // Keeps `entry` (read from `where`: "line 12"); a row without a detail
    // URL is only counted. False with the reason beyond a bound.
    bool Take(CourseEntry&& entry, RowPlace where, std::string& error) {
        if (entry.record[kColumnDetailUrl].empty()) {
            ++withoutUrl_;
            return true;
        }
        if (courses_ >= bounds_.courses) {
            error = "more than " + std::to_string(bounds_.courses) + " courses";
            return false;
        }
        const std::size_t bytes = ValueBytes(entry);
        valueBytes_ += bytes;
        if (valueBytes_ > bounds_.valueBytesInAll) {
            error = "values of more than " + MiB(bounds_.valueBytesInAll) + " in all";
            return false;
        }
        for (const std::string& value : entry.record.values) {
            if (value.size() > kMaxValueBytes) {
                error = where.Text() + " holds a value of more than " + KiB(kMaxValueBytes);
                return false;
            }
        }
        ++courses_;
        sink_(std::move(entry));
        return true;
    }

    void CountWithoutUrl() { ++withoutUrl_; }
    std::size_t withoutUrl() const { return withoutUrl_; }

  private:
    const OutputReadBounds& bounds_;
    const CourseSink& sink_;
    std::size_t courses_ = 0;
    std::size_t withoutUrl_ = 0;
    std::size_t valueBytes_ = 0;
};

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

enum class RowRead { Empty, WithoutUrl, Course, TooLong };

// A course from a row of texts placed as `places` says; the texts of a
// workbook's row are taken, not copied.
RowRead EntryOfRow(std::vector<std::string>& row, const ColumnPlaces& places, bool csvGuard,
                   CourseEntry& entry) {
    const auto urlPlace = static_cast<std::size_t>(places[kColumnDetailUrl]);
    if (urlPlace >= row.size() || row[urlPlace].empty()) {
        for (int column = 0; column < kOutputColumnCount; ++column) {
            const int place = places[column];
            if (place >= 0 && static_cast<std::size_t>(place) < row.size() && !row[place].empty()) {
                return RowRead::WithoutUrl;
            }
        }
        return RowRead::Empty;
    }
    bool any = false;
    std::array<std::string, kOutputColumnCount> texts;
    for (int column = 0; column < kOutputColumnCount; ++column) {
        const int place = places[column];
        if (place >= 0 && static_cast<std::size_t>(place) < row.size()) {
            if (row[place].size() > kMaxValueBytes) {
                return RowRead::TooLong;
            }
            // Each place holds one column's text: it can be taken.
            texts[column] = csvGuard ? csv::WithoutFormulaGuard(row[place]) : std::move(row[place]);
            any = any || !texts[column].empty();
        }
    }
    if (any) {
        entry = EntryFromTexts(texts);
    }
    return any ? RowRead::Course : RowRead::Empty;
}

// Takes a row of a UTF-8 CSV or a workbook.
bool TakeRow(std::vector<std::string>& row, const ColumnPlaces& places, bool csvGuard,
             RowPlace where, CourseIntake& intake, std::string& error) {
    CourseEntry entry;
    switch (EntryOfRow(row, places, csvGuard, entry)) {
        case RowRead::Empty:
            return true;
        case RowRead::WithoutUrl:
            intake.CountWithoutUrl();
            return true;
        case RowRead::TooLong:
            error = where.Text() + " holds a value of more than " + KiB(kMaxValueBytes);
            return false;
        case RowRead::Course:
            break;
    }
    return intake.Take(std::move(entry), where, error);
}

bool ReadCp932Csv(std::string_view bytes, CourseIntake& intake, std::string& error) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Csv);
    const std::string preamble = codec.Preamble();
    if (!bytes.starts_with(preamble)) {
        error = "a code-page-932 CSV file that does not begin as this program writes it";
        return false;
    }
    int lineNumber = 1;
    for (std::size_t at = preamble.size(); at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string_view::npos) {
            break;  // a last line torn by a crash
        }
        ++lineNumber;
        const RowPlace where{"line", lineNumber};
        CourseEntry entry;
        if (!codec.Read(bytes.substr(at, end - at), entry)) {
            error = "a code-page-932 CSV file whose " + where.Text() +
                    " is not a course as this program writes it";
            return false;
        }
        if (!intake.Take(std::move(entry), where, error)) {
            return false;
        }
        at = end + 2;
    }
    return true;
}

bool ReadUtf8Csv(std::string_view bytes, CourseIntake& intake, std::string& error) {
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
        const RowPlace where{"record", line};
        if (!csv::ReadRecord(bytes, at, fields, kMaxColumns)) {
            error = "a UTF-8 CSV file whose " + where.Text() + " is broken";
            return false;
        }
        if (!TakeRow(fields, places, true, where, intake, error)) {
            return false;
        }
    }
    return true;
}

// True when `line` is one JSON object of at most `maxKeys` keys whose values
// are no objects or arrays, as every line of ours is. Parsing anything else
// could take memory and time out of all proportion to the line.
bool IsFlatObject(std::string_view line, int maxKeys) {
    const std::size_t open = line.find_first_not_of(" \t");
    if (open == std::string_view::npos || line[open] != '{') {
        return false;
    }
    int keys = 0;
    bool inString = false;
    for (std::size_t at = open + 1; at < line.size(); ++at) {
        const char c = line[at];
        if (inString) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            return false;
        } else if (c == ':' && ++keys > maxKeys) {
            return false;
        }
    }
    return true;
}

// The lines of `bytes`, numbered on from `lineNumber`.
bool ReadJsonLines(std::string_view bytes, CourseIntake& intake, std::string& error,
                   int& lineNumber) {
    const JournalCodec& codec = JournalCodecFor(OutputFormat::Jsonl);
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
        const RowPlace where{"line", lineNumber};
        CourseEntry entry;
        if (!IsFlatObject(line, 2 * kOutputColumnCount) || !codec.Read(line, entry)) {
            error =
                "a JSON Lines file whose " + where.Text() + " is not a course with a detail_url";
            return false;
        }
        if (!intake.Take(std::move(entry), where, error)) {
            return false;
        }
    }
    return true;
}

// The shared strings of a workbook (none when it has no such member),
// within `budget` bytes of XML; `budget` loses what they took.
bool ReadWorkbookStrings(std::string_view bytes, std::size_t maxStrings, std::size_t& budget,
                         xlsx::SharedStrings& shared, std::string& error) {
    if (!xlsx::HasZipMember(bytes, "xl/sharedStrings.xml")) {
        return true;
    }
    std::string xml;
    std::string problem;
    if (!xlsx::ReadZipMember(bytes, "xl/sharedStrings.xml", budget, xml, problem) ||
        !xlsx::ReadSharedStrings(xml, maxStrings, kMaxValueBytes, shared, problem)) {
        error = "a workbook whose shared strings cannot be read: " + problem;
        return false;
    }
    budget -= xml.size();
    return true;
}

bool ReadWorkbook(std::string_view bytes, CourseIntake& intake, std::string& error) {
    std::size_t budget = intake.bounds().workbookXmlBytes;
    xlsx::SharedStrings shared;
    if (!ReadWorkbookStrings(bytes, intake.bounds().courses * kOutputColumnCount, budget, shared,
                             error)) {
        return false;
    }
    constexpr std::string_view kSheet = "xl/worksheets/sheet1.xml";
    std::string problem;
    if (!xlsx::HasZipMember(bytes, kSheet)) {
        std::string unused;
        xlsx::ReadZipMember(bytes, kSheet, budget, unused, problem);
        error = "a zip file that is not a workbook of this program: " + problem;
        return false;
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
    ColumnPlaces places;
    bool headerRead = false;
    const auto visit = [&](long number, std::vector<std::string>& cells) {
        if (!headerRead) {
            headerRead = true;
            if (number != 1 || !PlacesOfHeader(cells, places)) {
                problem = "no column 詳細ページURL in its first row";
                return false;
            }
            return true;
        }
        return TakeRow(cells, places, false, RowPlace{"row", number}, intake, problem);
    };
    // The sheet is walked as it is inflated, never held whole.
    bool sheetUnreadable = false;
    const bool walked =
        xlsx::ForEachSheetRowOfMember(bytes, kSheet, budget, shared, kMaxColumns, kMaxValueBytes,
                                      visit, problem, sheetUnreadable, dateStyles);
    if (!walked && sheetUnreadable) {
        error = "a zip file that is not a workbook of this program: " + problem;
        return false;
    }
    if (!walked || !headerRead) {
        error = "a workbook whose sheet cannot be read: " +
                (headerRead ? problem : "no column 詳細ページURL in its first row");
        return false;
    }
    return true;
}

bool IsBlank(std::string_view bytes) {
    return bytes.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool ReadBytesInto(std::string_view bytes, CourseIntake& intake, std::string& error,
                   OutputFormat* format, std::size_t* rowsWithoutUrl) {
    std::optional<OutputFormat> found;
    bool read = false;
    if (IsBlank(bytes)) {
        error = bytes.empty() ? "an empty file, not an output of this program"
                              : "a blank file, not an output of this program";
    } else if (bytes.starts_with(kZipStart)) {
        found = OutputFormat::Xlsx;
        read = ReadWorkbook(bytes, intake, error);
    } else if (bytes.starts_with(CsvHeaderLine())) {
        found = OutputFormat::Csv;
        read = ReadCp932Csv(bytes, intake, error);
    } else if (bytes.starts_with(kUtf8Bom) ||
               bytes.substr(0, bytes.find('\n')).find("詳細ページURL") != std::string_view::npos) {
        found = OutputFormat::CsvUtf8;
        read = ReadUtf8Csv(bytes, intake, error);
    } else if (bytes[bytes.find_first_not_of(" \t\r\n")] == '{') {
        found = OutputFormat::Jsonl;
        int lineNumber = 0;
        read = ReadJsonLines(bytes, intake, error, lineNumber);
    } else {
        error = "not an output file of this program (CSV, UTF-8 CSV, JSON Lines or workbook)";
    }
    if (!read) {
        return false;
    }
    if (format != nullptr && found) {
        *format = *found;
    }
    if (rowsWithoutUrl != nullptr) {
        *rowsWithoutUrl = intake.withoutUrl();
    }
    return true;
}

// JSON Lines files larger than a piece are read a piece at a time, never
// held whole: a comparison holds two tables besides.
constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// Whether a file beginning with `start` is read as JSON Lines, told by the
// signs ReadBytesInto goes by, all of them within `start`.
bool StartsAsJsonLines(std::string_view start) {
    if (IsBlank(start) || start.starts_with(kZipStart) || start.starts_with(CsvHeaderLine()) ||
        start.starts_with(kUtf8Bom)) {
        return false;
    }
    const std::size_t lineEnd = start.find('\n');
    return lineEnd != std::string_view::npos &&
           start.substr(0, lineEnd).find("詳細ページURL") == std::string_view::npos &&
           start[start.find_first_not_of(" \t\r\n")] == '{';
}

// Reads the lines of the JSON Lines file `path` a piece at a time. Nothing
// when it is no such file larger than a piece: it is then read whole.
std::optional<bool> ReadJsonLinesInPieces(const std::filesystem::path& path,
                                          const OutputReadBounds& bounds, CourseIntake& intake,
                                          std::string& error) {
    std::error_code failure;
    if (!std::filesystem::is_regular_file(std::filesystem::status(path, failure)) || failure) {
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    if (failure || size <= kPieceBytes || size > bounds.fileBytes) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string piece(kPieceBytes, '\0');
    const auto readPiece = [&in, &piece] {
        piece.resize(kPieceBytes);
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        piece.resize(static_cast<std::size_t>(in.gcount()));
    };
    readPiece();
    if (!in || !StartsAsJsonLines(piece)) {
        return std::nullopt;
    }
    std::string pending;  // the bytes after the last whole line so far
    std::uintmax_t total = 0;
    int lineNumber = 0;
    while (!piece.empty()) {
        total += piece.size();
        if (total > bounds.fileBytes) {
            error = "larger than " + MiB(bounds.fileBytes);
            return false;
        }
        pending += piece;
        if (const std::size_t lastEnd = pending.rfind('\n'); lastEnd != std::string::npos) {
            if (!ReadJsonLines(std::string_view(pending).substr(0, lastEnd + 1), intake, error,
                               lineNumber)) {
                return false;
            }
            pending.erase(0, lastEnd + 1);
        }
        readPiece();
    }
    if (in.bad()) {
        error = "the file could not be read to its end";
        return false;
    }
    return ReadJsonLines(pending, intake, error, lineNumber);
}

}  // namespace

bool ReadOutputBytes(std::string_view bytes, std::vector<CourseEntry>& entries, std::string& error,
                     OutputFormat* format, std::size_t* rowsWithoutUrl) {
    entries.clear();
    const OutputReadBounds bounds;
    const CourseSink keep = [&entries](CourseEntry&& entry) {
        entries.push_back(std::move(entry));
    };
    CourseIntake intake(bounds, keep);
    if (!ReadBytesInto(bytes, intake, error, format, rowsWithoutUrl)) {
        std::vector<CourseEntry>().swap(entries);
        return false;
    }
    return true;
}

bool ReadOutputFile(const std::filesystem::path& path, std::vector<CourseEntry>& entries,
                    std::string& error, OutputFormat* format, std::size_t* rowsWithoutUrl) {
    entries.clear();
    const CourseSink keep = [&entries](CourseEntry&& entry) {
        entries.push_back(std::move(entry));
    };
    if (!ReadOutputFileEach(path, OutputReadBounds{}, keep, error, format, rowsWithoutUrl)) {
        std::vector<CourseEntry>().swap(entries);
        return false;
    }
    return true;
}

bool ReadOutputFileEach(const std::filesystem::path& path, const OutputReadBounds& bounds,
                        const CourseSink& sink, std::string& error, OutputFormat* format,
                        std::size_t* rowsWithoutUrl) {
    {
        CourseIntake intake(bounds, sink);
        if (const std::optional<bool> read = ReadJsonLinesInPieces(path, bounds, intake, error)) {
            if (!*read) {
                error = PathText(path) + ": " + error;
                return false;
            }
            if (format != nullptr) {
                *format = OutputFormat::Jsonl;
            }
            if (rowsWithoutUrl != nullptr) {
                *rowsWithoutUrl = intake.withoutUrl();
            }
            return true;
        }
    }
    const WholeFileRead file = ReadWholeFile(path, bounds.fileBytes);
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
            error = PathText(path) + ": larger than " + MiB(bounds.fileBytes);
            return false;
        case WholeFileRead::Status::Failed:
            error = PathText(path) + ": " + file.systemError;
            return false;
    }
    CourseIntake intake(bounds, sink);
    if (!ReadBytesInto(file.bytes, intake, error, format, rowsWithoutUrl)) {
        error = PathText(path) + ": " + error;
        return false;
    }
    return true;
}

}  // namespace teebasket
