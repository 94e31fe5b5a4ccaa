// HistoryCommand: `teebasket-cli history [--json]`: the runs kept in the
// history of runs (RunHistory.h), newest first.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Language.h"
#include "RunHistory.h"

namespace teebasket::cli {

struct HistoryRequest {
    std::filesystem::path folder;  // the history folder beside golf.ini
    bool json = false;
};

// The listing of `runs` (newest first), one line per run in `language`:
// date, selection, courses, failed, format and output path; or one JSON
// object per run. UTF-8, each line ending in "\n"; text from the index is
// printed with its control characters escaped.
std::string HistoryText(const std::vector<history::RunEntry>& runs,
                        const std::filesystem::path& folder, Language language);
std::string HistoryJsonLines(const std::vector<history::RunEntry>& runs);

// Prints the history to `out`. Always 0: an empty or damaged history lists
// what can be read.
int RunHistoryList(const HistoryRequest& request, std::FILE* out, Language language);

}  // namespace teebasket::cli
