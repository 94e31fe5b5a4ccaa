// The history of runs at the end of a run: the courses of the file the run
// put in place, read back from that file, so that a resumed run's kept
// courses are there in listing order as in the file itself.
#include <ctime>
#include <exception>

#include "OutputReader.h"
#include "RunHistory.h"
#include "RunOutcome.h"
#include "harvest_steps.h"

namespace teebasket::detail {

namespace {

bool PutAFileInPlace(const HarvestReport& report) {
    return report.ending != RunEnding::Failed && FileInPlace(report.files);
}

// The code-page-932 CSV holds the 31 values only: the rest of each course
// this run wrote comes from what it wrote. Courses kept from an earlier CSV
// keep what the reader infers.
void AddWrittenFacts(std::vector<CourseEntry>& entries,
                     const std::unordered_map<std::string, CourseEntry>& written) {
    for (CourseEntry& entry : entries) {
        const auto found = written.find(entry.record[kColumnDetailUrl]);
        if (found == written.end()) {
            continue;
        }
        CourseRecord values = std::move(entry.record);
        entry = found->second;
        entry.record = std::move(values);
    }
}

history::KeepResult Keep(const RunState& state) {
    const HarvestReport& report = state.report;
    history::FinishedRun run;
    run.finishedAt = std::time(nullptr);
    for (const int row : state.request.selection.rows) {
        run.prefectures.push_back(row + 1);
    }
    std::error_code error;
    run.output = std::filesystem::absolute(state.request.output.path, error);
    if (error) {
        run.output = state.request.output.path;
    }
    run.format = report.outputFormat;
    history::KeepResult result;
    if (!ReadOutputFile(report.outputPath, run.entries, result.problem)) {
        result.problem = "the file put in place cannot be read back: " + result.problem;
        return result;
    }
    AddWrittenFacts(run.entries, state.writtenFacts);
    return history::KeepRun(state.request.historyFolder, run);
}

}  // namespace

bool HistoryNeedsWrittenFacts(const HarvestRequest& request) {
    return !request.historyFolder.empty() && request.output.format == OutputFormat::Csv &&
           !request.output.toStandardOutput;
}

void KeepInHistory(RunState& state) {
    HarvestReport& report = state.report;
    if (state.request.historyFolder.empty() || !PutAFileInPlace(report)) {
        return;
    }
    history::KeepResult kept;
    try {
        kept = Keep(state);
    } catch (const std::exception& failure) {
        kept.problem = failure.what();
    } catch (...) {
        kept.problem = "unexpected error";
    }
    if (kept.entry) {
        report.history = HistoryKeeping::Kept;
        report.historyEntry = std::move(kept.entry);
    } else {
        report.history = HistoryKeeping::NotKept;
        report.historyProblem = std::move(kept.problem);
    }
}

}  // namespace teebasket::detail
