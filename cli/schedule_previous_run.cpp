// The previous run of a scheduled run, from the run history.
#include "RunHistory.h"
#include "SchedulePreviousRun.h"

namespace teebasket::cli {

std::optional<std::filesystem::path> PreviousRunRecords(const std::filesystem::path& dataFolder,
                                                        const std::vector<int>& prefectures) {
    const std::vector<history::RunEntry> runs =
        history::ListRuns(history::HistoryFolderIn(dataFolder));
    const std::optional<history::RunEntry> previous = history::PreviousRunOf(runs, prefectures);
    if (!previous || previous->records.empty()) {
        return std::nullopt;
    }
    return previous->records;
}

}  // namespace teebasket::cli
