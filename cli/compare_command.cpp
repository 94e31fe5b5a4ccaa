// teebasket-cli compare: two output files, their differences.
#include "CompareCommand.h"

#include "CliRun.h"

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

}  // namespace

int RunCompare(const CompareRequest& request, std::FILE* out, std::FILE* err) {
    std::vector<CourseEntry> oldEntries;
    std::vector<CourseEntry> newEntries;
    std::string error;
    if (!ReadOutputFile(request.oldPath, oldEntries, error) ||
        !ReadOutputFile(request.newPath, newEntries, error)) {
        PrintLine(err, BadInput(error));
        return kCompareBadInput;
    }
    const CompareResult result = CompareOutputs(oldEntries, newEntries);
    if (request.reportToStandardOutput) {
        // The full report takes the summary's place: standard output is one
        // file.
        WriteText(out, ReportBytes(result, ReportFormat::Text));
        return kCompareDone;
    }
    WriteText(out, CompareSummary(result));
    if (request.reportPath && !WriteCompareReport(*request.reportPath, result, error)) {
        PrintLine(err,
                  "報告を保存できませんでした。 / The report could not be written: " + error + ".");
        return kCompareCannotWrite;
    }
    return kCompareDone;
}

CommandEnding RunCompareCommand(const CompareArguments& arguments,
                                const std::filesystem::path& currentFolder, Language) {
    const auto fromHere = [&currentFolder](const std::string& utf8) {
        const std::filesystem::path path = PathFromUtf8(utf8);
        return path.is_absolute() ? path : currentFolder / path;
    };
    CompareRequest request;
    request.oldPath = fromHere(arguments.oldFile);
    request.newPath = fromHere(arguments.newFile);
    if (arguments.report && *arguments.report == "-") {
        request.reportToStandardOutput = true;
    } else if (arguments.report) {
        request.reportPath = fromHere(*arguments.report);
    }
    // The command writes its own output; nothing is left to print.
    return {RunCompare(request, stdout, stderr), {}};
}

}  // namespace teebasket::cli
