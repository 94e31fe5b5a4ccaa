#include "CliOutcome.h"

#include <algorithm>

#include "MECSUtils.h"
#include "path_text.h"

namespace teebasket::cli {

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + PathText(path) + "\"";
}

std::string Utf8FromAnsi(const std::string& ansi) {
    return UTF16ToAnsi(AnsiToUTF16(ansi, kCodePageJapanese), kCodePageUtf8);
}

// `text` on one line.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

}  // namespace

ExitCode ExitCodeFor(const RunOutcome& outcome) {
    if (!outcome.failure.empty()) {
        return kExitCannotWrite;
    }
    if (outcome.stoppedByUser) {
        return kExitStopped;
    }
    if (outcome.resultCode == kResultSiteUnreachable) {
        return kExitUnreachable;
    }
    if (!outcome.pageFailures.empty()) {
        return kExitPagesNotRead;
    }
    return outcome.resultCode == kResultNoRow ? kExitNothingFound : kExitRowsWritten;
}

std::string OutcomeMessage(const RunOutcome& outcome) {
    const std::string rows = std::to_string(outcome.rowsWritten);
    switch (ExitCodeFor(outcome)) {
        case kExitRowsWritten:
            return "情報の取得が完了しました（" + rows + " 件）。 / Done: " + rows +
                   " courses written to " + Quoted(outcome.outputPath) + ".";
        case kExitPagesNotRead: {
            const std::string pages = std::to_string(outcome.pageFailures.size());
            return "情報の取得が完了しました（" + rows + " 件、取得できなかったページ " + pages +
                   " 件）。 / Done: " + rows + " courses written to " + Quoted(outcome.outputPath) +
                   ", but " + pages + " pages could not be read (listed above).";
        }
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
    return OneLine(outcome.failure);
}

std::string PageFailureLine(const PageFailure& failure) {
    return "取得できなかったページ / Page not read: " + OneLine(Utf8FromAnsi(failure.subject)) +
           " " + failure.url + ": " + OneLine(failure.reason);
}

std::string UsageErrorMessage(const std::string& detail) {
    return "コマンドラインまたは設定に誤りがあります。 / Bad usage or configuration: " + detail +
           " (see teebasket-cli --help).";
}

std::string CannotWriteMessage(const std::string& detail) {
    return "ファイルに保存できませんでした。 / The output could not be written: " + detail + ".";
}

}  // namespace teebasket::cli
