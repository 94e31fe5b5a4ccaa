// Reading a workbook back: a small zip reader (central directory, stored and
// deflated members through zlib) and the cells of the first sheet. Used by
// output_reader.cpp only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket::xlsx {

// The uncompressed bytes of member `name` of the zip file `zip`. False and
// the reason when there is no such member, it is larger than `limit`, or the
// archive is damaged (its checksum included).
bool ReadZipMember(std::string_view zip, std::string_view name, std::size_t limit,
                   std::string& bytes, std::string& error);

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

// The rows of a sheet's XML as texts (UTF-8), each row as wide as its
// rightmost cell, a row that the sheet skips given as empty. Numbers are
// given in their shortest form, shared strings through `sharedStrings`; a
// number whose style is a date in `dateStyles` as an ISO 8601 date-time,
// with the style's offset when it names one (2026-12-09T13:45:02+09:00).
// At most `maxColumns` columns are kept. False when the XML is broken.
bool ReadSheetRows(std::string_view sheetXml, const std::vector<std::string>& sharedStrings,
                   std::size_t maxColumns, std::vector<std::vector<std::string>>& rows,
                   std::string& error, const std::vector<DateStyle>& dateStyles = {});

// The strings of sharedStrings.xml, phonetic runs left out.
bool ReadSharedStrings(std::string_view xml, std::vector<std::string>& strings, std::string& error);

}  // namespace teebasket::xlsx
