// SchedulePreviousRun: the records of the run before a scheduled run, from
// the run history.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

namespace teebasket::cli {

// The records file of the newest run of `prefectures` (JIS X 0401 codes)
// that the history in `dataFolder` keeps; asked before the scheduled run
// begins, so that it is the run before it.
std::optional<std::filesystem::path> PreviousRunRecords(const std::filesystem::path& dataFolder,
                                                        const std::vector<int>& prefectures);

}  // namespace teebasket::cli
