// Reading a workbook back: a small zip reader (central directory, stored and
// deflated members through zlib) and the cells of the first sheet. Used by
// output_reader.cpp only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket::xlsx {

// The uncompressed bytes of member `name` of the zip file `zip`. False and
// the reason when there is no such member, it is larger than `limit`, or the
// archive is damaged (its checksum included).
bool ReadZipMember(std::string_view zip, std::string_view name, std::size_t limit,
                   std::string& bytes, std::string& error);

// The same bytes handed to `piece` in order, some kilobytes at a time, and
// never held whole. When `piece` returns false the reading stops there and
// `pieceSaidNo` is set (the reason is then the caller's); the checksum is
// checked at the end, so a piece may come from a member later found damaged.
bool ForEachZipMemberPiece(std::string_view zip, std::string_view name, std::size_t limit,
                           const std::function<bool(std::string_view)>& piece, std::string& error,
                           bool& pieceSaidNo);

// True when the zip file holds a member `name`.
bool HasZipMember(std::string_view zip, std::string_view name);

// How a cell style shows a number: as a date or not, and the offset from
// UTC that its format names as a literal ("+09:00"), if any.
struct DateStyle {
    bool date = false;
    std::string offset;
};

// The most cell styles read; Excel itself keeps fewer. Cells of styles
// beyond them read as plain numbers.
inline constexpr std::size_t kMaxCellStyles = 65536;

// The largest styles.xml read.
inline constexpr std::size_t kMaxStylesBytes = 16u << 20;

// The cell styles of styles.xml (cellXfs, in order, up to kMaxCellStyles)
// as DateStyles: built-in date formats and custom formats with a year or a
// day in them are dates.
bool ReadDateStyles(std::string_view stylesXml, std::vector<DateStyle>& styles, std::string& error);

// The strings of sharedStrings.xml, phonetic runs left out, kept in one
// buffer so that a cell refers to its string instead of copying it. A string
// longer than the limit that ReadSharedStrings was given is kept only as
// being too long.
class SharedStrings {
  public:
    std::size_t size() const { return spans_.size(); }

    // The text of string `index` into `text`: empty when there is no such
    // string. False when the string was too long to keep.
    bool Text(std::size_t index, std::string_view& text) const;

    // Adds a string; nothing but its being too long when `tooLong`.
    void Add(std::string_view text, bool tooLong);

  private:
    struct Span {
        std::size_t offset = 0;
        std::size_t length = 0;
        bool tooLong = false;
    };
    std::string text_;
    std::vector<Span> spans_;
};

// Reads sharedStrings.xml into `strings`. False when the XML is broken or
// holds more than `maxStrings` strings.
bool ReadSharedStrings(std::string_view xml, std::size_t maxStrings, std::size_t maxStringBytes,
                       SharedStrings& strings, std::string& error);

// Visits the rows of a sheet's XML in order: `visit(number, cells)` with the
// row's number (1-based, as the sheet gives it) and its texts (UTF-8), as
// wide as its rightmost cell, at most `maxColumns` wide. Numbers are given in
// their shortest form, shared strings through `sharedStrings`, and a number
// whose style is a date in `dateStyles` as an ISO 8601 date-time, with the
// style's offset when it names one (2026-12-09T13:45:02+09:00). Only one row
// is held at a time. False when the XML is broken, a cell holds more than
// `maxCellBytes` bytes, or `visit` returns false (it then says why in
// `error`). `visit` may take the cells' texts: the next row starts anew.
bool ForEachSheetRow(std::string_view sheetXml, const SharedStrings& sharedStrings,
                     std::size_t maxColumns, std::size_t maxCellBytes,
                     const std::function<bool(long, std::vector<std::string>&)>& visit,
                     std::string& error, const std::vector<DateStyle>& dateStyles = {});

// Cuts a sheet's XML, given a piece at a time, into runs that each end
// where a row ends, and hands each run to `walk`: runs lie where the pieces
// lie, copied only where a row spans two of them.
class RowRuns {
  public:
    explicit RowRuns(std::function<bool(std::string_view)> walk) : walk_(std::move(walk)) {}
    // False when `walk` said no.
    bool Take(std::string_view piece);
    // Walks what follows the last end of a row.
    bool Finish() { return walk_(pending_); }

  private:
    std::function<bool(std::string_view)> walk_;
    std::string pending_;  // the bytes after the last end of a row so far
};

// ForEachSheetRow over the sheet that is member `name` of `zip`, inflated a
// piece at a time, so that the sheet's XML is never held whole (a workbook
// of 50 000 courses has a sheet of over 100 MB). When the member cannot be
// read (ReadZipMember's reasons), `memberUnreadable` is set and `error`
// says why; otherwise as ForEachSheetRow.
bool ForEachSheetRowOfMember(std::string_view zip, std::string_view name, std::size_t limit,
                             const SharedStrings& sharedStrings, std::size_t maxColumns,
                             std::size_t maxCellBytes,
                             const std::function<bool(long, std::vector<std::string>&)>& visit,
                             std::string& error, bool& memberUnreadable,
                             const std::vector<DateStyle>& dateStyles = {});

// All rows of a small sheet, a row that the sheet skips given as empty.
bool ReadSheetRows(std::string_view sheetXml, const SharedStrings& sharedStrings,
                   std::size_t maxColumns, std::vector<std::vector<std::string>>& rows,
                   std::string& error, const std::vector<DateStyle>& dateStyles = {});

}  // namespace teebasket::xlsx
