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

}  // namespace

std::string CompareHelpText() {
    return "Usage: teebasket-cli compare OLD NEW [-o REPORT]\n"
           "Compares two output files of teebasket-cli or the window (CSV, UTF-8 CSV, JSON Lines\n"
           "or workbook, told by their content), matching courses by their detail URL.\n"
           "Prints the counts of new, no longer listed and changed courses, then one line per\n"
           "course. -o, --output REPORT writes the full report: .csv (code page 932), .xlsx,\n"
           ".jsonl, otherwise text.\n"
           "Exit: 0 compared, 64 bad usage or a file that is not an output, 73 the report\n"
           "cannot be written.\n";
}

bool ParseCompareArguments(const std::vector<std::string>& arguments, CompareRequest& request,
                           bool& help, std::string& error) {
    help = false;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
            files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            help = true;
            return true;
        } else if (argument == "-o" || argument == "--output") {
            if (at + 1 >= arguments.size()) {
                error = argument + " needs a file name";
                return false;
            }
            request.reportPath = PathFromUtf8(arguments[++at]);
        } else if (argument.starts_with("--output=")) {
            request.reportPath = PathFromUtf8(argument.substr(9));
        } else if (argument.starts_with("-o")) {
            request.reportPath = PathFromUtf8(argument.substr(2));
        } else {
            error = "unknown option " + argument;
            return false;
        }
    }
    if (files.size() != 2) {
        error = "give two files, OLD and NEW";
        return false;
    }
    if (request.reportPath && request.reportPath->empty()) {
        error = "the report needs a file name";
        return false;
    }
    request.oldPath = PathFromUtf8(files[0]);
    request.newPath = PathFromUtf8(files[1]);
    return true;
}

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
    WriteText(out, CompareSummary(result));
    if (request.reportPath && !WriteCompareReport(*request.reportPath, result, error)) {
        PrintLine(err,
                  "報告を保存できませんでした。 / The report could not be written: " + error + ".");
        return kCompareCannotWrite;
    }
    return kCompareDone;
}

int RunCompareCommand(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    CompareRequest request;
    bool help = false;
    std::string error;
    if (!ParseCompareArguments(arguments, request, help, error)) {
        PrintLine(err, BadInput(error + " (see teebasket-cli compare --help)"));
        return kCompareBadInput;
    }
    if (help) {
        WriteText(out, CompareHelpText());
        return kCompareDone;
    }
    return RunCompare(request, out, err);
}

}  // namespace teebasket::cli
