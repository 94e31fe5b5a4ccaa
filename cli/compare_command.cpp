// teebasket-cli compare: two output files, their differences.
#include "CompareCommand.h"

#include <vector>

#include "OutputCompare.h"
#include "OutputReader.h"
#include "TerminalStream.h"
#include "path_text.h"

namespace teebasket::cli {

namespace {

void PrintLine(std::FILE* stream, const std::string& line) {
    WriteText(stream, line + "\n");
}

std::string BadInput(const std::string& detail) {
    return "比較できません。 / Cannot compare: " + detail + ".";
}

// True when `report` is the file `input` (through any link), so that
// writing the report would replace an input.
bool IsSameFile(const std::filesystem::path& report, const std::filesystem::path& input) {
    std::error_code ignored;
    return std::filesystem::equivalent(report, input, ignored);
}

}  // namespace

int RunCompare(const CompareRequest& request, std::FILE* out, std::FILE* err) {
    if (request.reportPath) {
        for (const std::filesystem::path* input : {&request.oldPath, &request.newPath}) {
            if (IsSameFile(*request.reportPath, *input)) {
                PrintLine(
                    err, BadInput("the report " + PathText(*request.reportPath) + " is the input " +
                                  PathText(*input) + ", which it would replace"));
                return kCompareBadInput;
            }
        }
    }
    std::vector<CourseEntry> oldEntries;
    std::vector<CourseEntry> newEntries;
    std::size_t oldWithoutUrl = 0;
    std::size_t newWithoutUrl = 0;
    std::string error;
    if (!ReadOutputFile(request.oldPath, oldEntries, error, nullptr, &oldWithoutUrl) ||
        !ReadOutputFile(request.newPath, newEntries, error, nullptr, &newWithoutUrl)) {
        PrintLine(err, BadInput(error));
        return kCompareBadInput;
    }
    CompareResult result = CompareOutputs(oldEntries, newEntries);
    result.unmatchedOld += static_cast<int>(oldWithoutUrl);
    result.unmatchedNew += static_cast<int>(newWithoutUrl);
    if (request.reportToStandardOutput) {
        // The full report takes the summary's place: standard output is one
        // file.
        WriteText(out, ReportBytes(result, ReportFormat::Text));
        return kCompareDone;
    }
    WriteText(out, CompareSummary(result));
    const CompareFiles files{PathText(request.oldPath), PathText(request.newPath)};
    if (request.reportPath && !WriteCompareReport(*request.reportPath, result, files, error)) {
        PrintLine(err,
                  "報告を保存できませんでした。 / The report could not be written: " + error + ".");
        return kCompareCannotWrite;
    }
    return kCompareDone;
}

}  // namespace teebasket::cli
