#include "CliOutcome.h"

#include <algorithm>

#include "Unithread.h"

namespace teebasket::cli {

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + path.string() + "\"";
}

}  // namespace

ExitCode ExitCodeFor(const RunOutcome& outcome) {
    if (!outcome.failure.empty()) {
        return kExitCannotWrite;
    }
    if (outcome.stoppedByUser) {
        return kExitStopped;
    }
    switch (outcome.resultCode) {
        case kResultNoRow:
            return kExitNothingFound;
        case kResultSiteUnreachable:
            return kExitUnreachable;
        default:
            return kExitRowsWritten;
    }
}

std::string OutcomeMessage(const RunOutcome& outcome) {
    const std::string rows = std::to_string(outcome.rowsWritten);
    switch (ExitCodeFor(outcome)) {
        case kExitRowsWritten:
            return "情報の取得が完了しました（" + rows + " 件）。 / Done: " + rows +
                   " courses written to " + Quoted(outcome.outputPath) + ".";
        case kExitNothingFound:
            return "該当する情報は見つかりませんでした。 / Nothing found: " +
                   Quoted(outcome.outputPath) + " holds the header line only.";
        case kExitStopped:
            return "取得処理を中断しました（" + rows + " 件を保存済み）。 / Stopped: the " + rows +
                   " courses written so far are in " + Quoted(outcome.outputPath) + ".";
        case kExitUnreachable: {
            std::string line =
                "サイトへのアクセスができませんでした。しばらく時間を置いてから再度実行してください"
                "。"
                " / The portal could not be reached";
            if (!outcome.lastFetchFailure.empty()) {
                line += " (" + outcome.lastFetchFailure + ")";
            }
            return line + "; please try again later.";
        }
        case kExitCannotWrite:
        case kExitUsage:
            break;
    }
    // The engine's reason already says what failed, in both languages.
    std::string line = outcome.failure;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

std::string UsageErrorMessage(const std::string& detail) {
    return "コマンドラインまたは設定に誤りがあります。 / Bad usage or configuration: " + detail +
           " (see teebasket-cli --help).";
}

std::string CannotWriteMessage(const std::string& detail) {
    return "ファイルに保存できませんでした。 / The output could not be written: " + detail + ".";
}

}  // namespace teebasket::cli
