// RFC 4180 fields for the CSV readers and writers of the output formats
// (journal_codec.cpp, output_reader.cpp, output_report.cpp). Byte-wise, so it
// serves UTF-8 and code page 932 alike: neither '"', ',', CR nor LF is ever
// the second byte of a code-page-932 character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket::csv {

// Appends `value` between double quotes, quotes inside doubled.
void AppendQuoted(std::string& line, std::string_view value);

// True when a spreadsheet could run `value` as a formula: longer than one
// byte, and its first byte is =, +, -, @, a tab or a CR.
bool CouldBeFormula(std::string_view value);

// `value` with the ' that the formula guard put before it taken off: a ',
// then one of the guarded bytes, and at least one more byte.
std::string WithoutFormulaGuard(std::string value);

// `value` with each CR and LF made a blank.
std::string OnOneLine(std::string value);

// Reads the record that starts at `at`: quoted fields may hold commas,
// doubled quotes and line breaks; unquoted ones may not hold a quote. Leaves
// `at` after the record's line end (CR LF, LF or the end of the text).
// False when the record is malformed (a quote inside an unquoted field,
// text after a closing quote, a quote that never closes), or when it has
// more than `maxFields` fields.
bool ReadRecord(std::string_view text, std::size_t& at, std::vector<std::string>& fields,
                std::size_t maxFields);

}  // namespace teebasket::csv
