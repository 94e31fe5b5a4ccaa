// teebasket-cli history: the runs kept in the history of runs.
#include "HistoryCommand.h"

#include <nlohmann/json.hpp>

#include "SystemText.h"
#include "TerminalStream.h"
#include "path_text.h"

namespace teebasket::cli {

namespace {

// "2026-12-09T14:50:00" as "2026-12-09 14:50:00".
std::string DateText(std::string finishedAt) {
    if (finishedAt.size() > 10 && finishedAt[10] == 'T') {
        finishedAt[10] = ' ';
    }
    return finishedAt;
}

std::string CountsText(const history::RunEntry& run, Language language) {
    const std::string courses = std::to_string(run.courses);
    const std::string failed = std::to_string(run.failed);
    return std::string(Pick(language, courses + "件（取得できず " + failed + "件）",
                            courses + " courses, " + failed + " failed"));
}

}  // namespace

std::string HistoryText(const std::vector<history::RunEntry>& runs,
                        const std::filesystem::path& folder, Language language) {
    if (runs.empty()) {
        return PrintableText(std::string(Pick(language, "取得履歴はありません（",
                                              "No run is kept in the history (")) +
                             PathText(folder) + Pick(language, "）。", ").")) +
               "\n";
    }
    std::string text;
    for (const history::RunEntry& run : runs) {
        const std::string line =
            DateText(run.finishedAt) + "  " + history::SelectionText(run.prefectures) + "  " +
            CountsText(run, language) + "  " + run.format + "  " + PathText(run.output);
        text += PrintableText(line) + "\n";
    }
    return text;
}

std::string HistoryJsonLines(const std::vector<history::RunEntry>& runs) {
    std::string text;
    for (const history::RunEntry& run : runs) {
        nlohmann::ordered_json object;
        object["id"] = run.id;
        object["finished_at"] = run.finishedAt;
        object["prefectures"] = run.prefectures;
        object["selection"] = history::SelectionText(run.prefectures);
        object["courses"] = run.courses;
        object["failed"] = run.failed;
        object["format"] = run.format;
        object["output"] = PathText(run.output);
        object["records"] = PathText(run.records);
        text += object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    return text;
}

int RunHistoryList(const HistoryRequest& request, std::FILE* out, Language language) {
    const std::vector<history::RunEntry> runs = history::ListRuns(request.folder);
    WriteText(out,
              request.json ? HistoryJsonLines(runs) : HistoryText(runs, request.folder, language));
    return 0;
}

}  // namespace teebasket::cli
