// The runs of the history for the window 取得結果 (RunHistory.h).
#include "Prefectures.h"
#include "ResultsWindow.h"
#include "RunHistory.h"
#include "window_internal.h"

namespace teebasket {

namespace {

// 2026-12-09 14:50  千葉県、東京都  (1,234件)
QString RunLabel(const history::RunEntry& run) {
    QString when = window::QtText(run.finishedAt).left(16);
    when.replace(QLatin1Char('T'), QLatin1Char(' '));
    QStringList names;
    for (const int code : run.prefectures) {
        if (code >= 1 && code <= kPrefectureCount) {
            names << window::QtText(
                PrefectureTable[static_cast<std::size_t>(code - 1)].displayName);
        }
    }
    const int shownNames = 4;
    QString chosen = names.mid(0, shownNames).join(QStringLiteral("、"));
    if (names.size() > shownNames) {
        chosen += QStringLiteral(" ほか%1件").arg(names.size() - shownNames);
    }
    return QStringLiteral("%1  %2  (%3件)").arg(when, chosen).arg(run.courses);
}

}  // namespace

std::vector<TResultsRun> ResultsHistoryRuns(const std::filesystem::path& dataFolder) {
    const std::vector<history::RunEntry> runs =
        history::ListRuns(history::HistoryFolderIn(dataFolder));
    std::vector<TResultsRun> listed;
    for (const history::RunEntry& run : runs) {
        TResultsRun entry{RunLabel(run), run.records, run.output, std::nullopt};
        if (const std::optional<history::RunEntry> previous =
                history::PreviousRunOf(runs, run.prefectures, run.id)) {
            entry.previousRecords = previous->records;
        }
        listed.push_back(std::move(entry));
    }
    return listed;
}

std::optional<std::filesystem::path> PreviousRunRecords(const std::filesystem::path& dataFolder,
                                                        const std::vector<int>& prefectures,
                                                        const std::filesystem::path& output) {
    const std::vector<history::RunEntry> runs =
        history::ListRuns(history::HistoryFolderIn(dataFolder));
    std::string_view newestOfOutput;
    std::error_code ignored;
    for (const history::RunEntry& run : runs) {
        if (run.output == output || std::filesystem::equivalent(run.output, output, ignored)) {
            newestOfOutput = run.id;
            break;
        }
    }
    const std::optional<history::RunEntry> previous =
        history::PreviousRunOf(runs, prefectures, newestOfOutput);
    return previous ? std::optional(previous->records) : std::nullopt;
}

}  // namespace teebasket
