// A build without the history of runs: the window 取得結果 lists no runs.
#include "ResultsWindow.h"

namespace teebasket {

std::vector<TResultsRun> ResultsHistoryRuns(const std::filesystem::path&) {
    return {};
}

std::optional<std::filesystem::path> PreviousRunRecords(const std::filesystem::path&,
                                                        const std::vector<int>&,
                                                        const std::filesystem::path&) {
    return std::nullopt;
}

}  // namespace teebasket
