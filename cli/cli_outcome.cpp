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
    if (outcome.ending == FileEnding::AnotherSelection) {
        return kExitUsage;
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

namespace {

// "（N 件、前回分 K 件・新規 F 件" and " N courses in "X", K kept from the
// earlier file and F fetched": what a resumed run's file holds.
struct ResumedCounts {
    std::string japanese;
    std::string english;
};

ResumedCounts CountsOfResumedRun(const RunOutcome& outcome) {
    const std::string lines = std::to_string(outcome.linesInFile);
    const std::string kept = std::to_string(outcome.coursesKept);
    const std::string fetched = std::to_string(outcome.rowsWritten);
    return {"（" + lines + " 件、前回分 " + kept + " 件・新規 " + fetched + " 件",
            lines + " courses in " + Quoted(outcome.outputPath) + ", " + kept +
                " kept from the earlier file and " + fetched + " fetched"};
}

std::string DoneMessage(const RunOutcome& outcome) {
    if (outcome.resumed) {
        const ResumedCounts counts = CountsOfResumedRun(outcome);
        return "情報の取得が完了しました" + counts.japanese + "）。 / Done: " + counts.english +
               ".";
    }
    const std::string rows = std::to_string(outcome.rowsWritten);
    return "情報の取得が完了しました（" + rows + " 件）。 / Done: " + rows +
           " courses written to " + Quoted(outcome.outputPath) + ".";
}

std::string PagesNotReadMessage(const RunOutcome& outcome) {
    const std::string pages = std::to_string(outcome.pageFailures.size());
    if (outcome.ending == FileEnding::SelectionUndecided) {
        return "取得できなかったページがあるため、" + Quoted(outcome.earlierPath) +
               " の続きか確かめられませんでした。ファイルは変更していません。 / " + pages +
               " pages could not be read (listed above), and no course listed so far has a line "
               "in " +
               Quoted(outcome.earlierPath) +
               ": nothing was changed; run again with --resume once the portal answers.";
    }
    if (outcome.resumed) {
        const ResumedCounts counts = CountsOfResumedRun(outcome);
        return "情報の取得が完了しました" + counts.japanese + "、取得できなかったページ " + pages +
               " 件）。 / Done: " + counts.english + ", but " + pages +
               " pages could not be read (listed above).";
    }
    const std::string rows = std::to_string(outcome.rowsWritten);
    return "情報の取得が完了しました（" + rows + " 件、取得できなかったページ " + pages +
           " 件）。 / Done: " + rows + " courses written to " + Quoted(outcome.outputPath) +
           ", but " + pages + " pages could not be read (listed above).";
}

std::string StoppedMessage(const RunOutcome& outcome) {
    switch (outcome.ending) {
        case FileEnding::ComposeOutput: {
            const ResumedCounts counts = CountsOfResumedRun(outcome);
            return "取得処理を中断しました" + counts.japanese +
                   "を保存済み）。 / Stopped: " + counts.english + ".";
        }
        case FileEnding::SelectionUndecided:
            return "取得処理を中断しました。ファイルは変更していません。 / Stopped before any "
                   "course with a line in " +
                   Quoted(outcome.earlierPath) + " was listed: nothing was changed.";
        case FileEnding::LeaveAsBefore:
            return "取得処理を中断しました（保存した行はありません）。 / Stopped before any "
                   "course was written: nothing was written to " +
                   Quoted(outcome.outputPath) + ".";
        default:
            break;
    }
    const std::string rows = std::to_string(outcome.rowsWritten);
    return "取得処理を中断しました（" + rows + " 件を保存済み）。 / Stopped: the " + rows +
           " courses written so far are in " + Quoted(outcome.outputPath) + ".";
}

std::string AnotherSelectionMessage(const RunOutcome& outcome) {
    return CannotResumeMessage(
        "none of the " + std::to_string(outcome.earlierCourses) + " course lines of " +
        Quoted(outcome.earlierPath) +
        " names a course of this run (it is of another selection or portal)");
}

std::string CannotWriteOutcome(const RunOutcome& outcome) {
    // The engine's reason already says what failed, in both languages.
    std::string line = OneLine(outcome.failure);
    if (outcome.ending == FileEnding::KeepPartial) {
        line += " " + Quoted(outcome.outputPath) + " was left as it was; the rows written are in " +
                Quoted(outcome.partialPath) + ", and teebasket-cli --resume continues from them.";
    }
    return line;
}

}  // namespace

std::string OutcomeMessage(const RunOutcome& outcome) {
    switch (ExitCodeFor(outcome)) {
        case kExitRowsWritten:
            return DoneMessage(outcome);
        case kExitPagesNotRead:
            return PagesNotReadMessage(outcome);
        case kExitNothingFound:
            return "該当する情報は見つかりませんでした。 / Nothing found: nothing was written to " +
                   Quoted(outcome.outputPath) + ".";
        case kExitStopped:
            return StoppedMessage(outcome);
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
        case kExitUsage:
            return AnotherSelectionMessage(outcome);
        case kExitCannotWrite:
            break;
    }
    return CannotWriteOutcome(outcome);
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

std::string CannotResumeMessage(const std::string& detail) {
    return "前回の続きから再開できません。ファイルは変更していません。 / Cannot resume: " + detail +
           "; nothing was changed. Run without --resume to start afresh.";
}

std::string ResumingMessage(const std::filesystem::path& earlier, int courses, int keepable) {
    return Quoted(earlier) + " から再開します（" + std::to_string(courses) + " 行のうち取得済み " +
           std::to_string(keepable) + " 件）。 / Resuming from " + Quoted(earlier) + ": " +
           std::to_string(keepable) + " of its " + std::to_string(courses) +
           " course lines hold a page that was read; only the other courses are requested.";
}

std::string NothingToResumeMessage(const std::filesystem::path& output,
                                   const std::filesystem::path& partial) {
    return "再開するファイルがないため、最初から取得します。 / Nothing to resume: neither " +
           Quoted(partial) + " nor " + Quoted(output) + " exists; starting a new run.";
}

std::string PartialReplacedMessage(const std::filesystem::path& partial) {
    return "前回の中断したファイルを破棄して最初から取得します。 / Starting afresh: " +
           Quoted(partial) + " of an interrupted run is replaced (--resume would continue it).";
}

std::string StoppedAtOnceMessage(const std::filesystem::path& partial) {
    return "取得処理を中断しました。 / Stopped at once: the rows written so far are in " +
           Quoted(partial) + "; teebasket-cli --resume continues from them.";
}

}  // namespace teebasket::cli
