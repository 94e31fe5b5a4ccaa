// Saving rows of the table in any of the four formats, as a run writes them.
#include "JournalCodec.h"
#include "ResultsTable.h"
#include "SystemText.h"
#include "Workbook.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket::results {

bool SaveRecords(const ResultsTable& table, const std::vector<std::uint32_t>& records,
                 const std::filesystem::path& path, OutputFormat format, std::string& error) {
    const std::vector<CourseEntry> entries = table.Entries(records);
    if (format == OutputFormat::Xlsx) {
        WrittenWorkbook workbook;
        if (!WriteWorkbook(path, entries, workbook, error)) {
            return false;
        }
        if (const std::error_code failure = PutWorkbookInPlace(workbook, path)) {
            error = PathText(path) + ": " + JapaneseErrorText(failure);
            return false;
        }
        return true;
    }
    const JournalCodec& codec = JournalCodecFor(format);
    std::string bytes = codec.Preamble();
    for (const CourseEntry& entry : entries) {
        bytes += codec.Line(entry);
        bytes += codec.LineEnd();
    }
    const WholeFileReplace written = ReplaceWholeFile(path, bytes);
    if (written.status != WholeFileReplace::Status::Replaced) {
        error = PathText(path) + ": " + written.systemError;
        return false;
    }
    return true;
}

}  // namespace teebasket::results
