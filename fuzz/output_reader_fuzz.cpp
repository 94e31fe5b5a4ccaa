// The readers of output files, for compare: whatever a file holds, reading
// it ends with courses or a reason, and every course read can be written
// again by every codec as one line that reads back. The workbook's XML
// readers also take the input directly, since a mutated zip rarely gets
// past its checksums.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzChecks.h"
#include "JournalCodec.h"
#include "OutputReader.h"
#include "xlsx_reader.h"

using namespace teebasket;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<CourseEntry> entries;
    std::string error;
    if (!ReadOutputBytes(bytes, entries, error)) {
        fuzz::Require(!error.empty() && entries.empty(), "a refusal without a reason", bytes);
    }
    for (const CourseEntry& entry : entries) {
        for (const OutputFormat format :
             {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl}) {
            const JournalCodec& codec = JournalCodecFor(format);
            const std::string line = codec.Line(entry);
            fuzz::Require(line.find_first_of("\r\n") == std::string::npos,
                          "a journal line with a line break", line);
            CourseEntry again;
            fuzz::Require(codec.Read(line, again), "a journal line that does not read back", line);
        }
    }

    xlsx::SharedStrings shared;
    xlsx::ReadSharedStrings(bytes, 1000, 64, shared, error);
    xlsx::ForEachSheetRow(
        bytes, shared, 64, 64,
        [](long, const std::vector<std::string>& cells) {
            for (const std::string& cell : cells) {
                fuzz::Require(cell.size() <= 64, "a cell longer than the bound", cell);
            }
            fuzz::Require(cells.size() <= 64, "a row wider than the bound");
            return true;
        },
        error);
    return 0;
}
