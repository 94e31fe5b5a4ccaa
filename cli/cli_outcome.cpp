#include "CliOutcome.h"

#include <algorithm>

#include "CuttingRules.h"
#include "MECSUtils.h"
#include "PrefectureNames.h"
#include "RunWording.h"
#include "SystemText.h"
#include "path_text.h"

namespace teebasket::cli {

namespace {

std::string Count(int number) {
    return std::to_string(number);
}

// `text` on one line.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

// Where the lines went: the output file, or standard output.
std::string Destination(const HarvestReport& report) {
    return report.files == FileOutcome::StandardOutput ? std::string("standard output")
                                                       : QuotedPath(report.outputPath);
}

std::string DestinationJapanese(const HarvestReport& report) {
    return report.files == FileOutcome::StandardOutput ? std::string("標準出力")
                                                       : QuotedPath(report.outputPath);
}

// "1 course", "20 courses".
std::string CountOf(int number, const std::string& singular) {
    return Count(number) + " " + singular + (number == 1 ? "" : "s");
}

std::string PagesNotRead(const HarvestReport& report) {
    const int pages = static_cast<int>(report.pageFailures.size());
    return CountOf(pages, "page") + (pages == 1 ? " was" : " were");
}

ExitCode FailureExitCode(RunFailureKind kind) {
    switch (kind) {
        case RunFailureKind::OutputInUse:
            return kExitOutputInUse;
        case RunFailureKind::Unexpected:
            return kExitUnexpected;
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::EarlierFileUnreadable:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
            return kExitUsage;
        case RunFailureKind::None:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputNotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
            break;
    }
    return kExitCannotWrite;
}

}  // namespace

ExitCode ExitCodeFor(const RunOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::EveryCourseRead:
            return kExitRowsWritten;
        case OutcomeKind::NothingFound:
            return kExitNothingFound;
        case OutcomeKind::PagesNotRead:
        case OutcomeKind::NothingFoundPagesNotRead:
            return kExitPagesNotRead;
        case OutcomeKind::Stopped:
            return kExitStopped;
        case OutcomeKind::PortalStoppedAnswering:
        case OutcomeKind::Unreachable:
            return kExitUnreachable;
        case OutcomeKind::Failed:
            return FailureExitCode(outcome.failure);
    }
    return kExitUnexpected;
}

ExitCode ExitCodeFor(const HarvestReport& report) {
    return ExitCodeFor(OutcomeOf(report));
}

namespace {

// The reason of a page failure in one language: the libcurl text (English)
// in the English half only.
std::string PageReasonIn(const PageFailure& failure, Language language) {
    std::string reason = PageProblemWords(failure, language);
    if (failure.problem == PageProblem::TooManyCourses) {
        return reason;
    }
    const bool english = language == Language::English;
    if (english && failure.problem == PageProblem::Fetch && !failure.detail.empty()) {
        reason += " (" + PrintableText(OneLine(failure.detail)) + ")";
    }
    if (failure.attempts > 1) {
        const std::string attempts = AttemptsWords(failure.attempts, language);
        reason += english ? " (" + attempts + ")" : "（" + attempts + "）";
    }
    if (failure.keptEarlierRow) {
        reason += (english ? "; " : "、") + std::string(KeptEarlierRowWords(language));
    }
    return reason;
}

std::string PageReason(const PageFailure& failure) {
    return PageReasonIn(failure, Language::Japanese) + " / " +
           PageReasonIn(failure, Language::English);
}

}  // namespace

std::string PageFailureReason(const PageFailure& failure) {
    return PageReason(failure);
}

std::string PageFailureLine(const PageFailure& failure) {
    return "取得できなかったページ / Page not read: " +
           PrintableText(OneLine(AnsiToUTF8(failure.subject))) + " " + PrintableText(failure.url) +
           ": " + PageReason(failure);
}

namespace {

std::string SystemReason(const RunFailure& failure) {
    if (!failure.error) {
        return {};
    }
    const std::string japanese = JapaneseErrorText(failure.error);
    const std::string english = EnglishErrorText(failure.error);
    // An error without a Japanese text of its own is said once.
    return japanese == english ? english : japanese + " / " + english;
}

// "not a regular file: "PATH"", with where its links end and why a link
// leads nowhere.
std::string NotARegularFileReason(const RunFailure& failure) {
    std::string reason =
        "通常のファイルではありません / not a regular file: " + QuotedPath(failure.path);
    if (!failure.detail.empty()) {
        reason += ", a link to " + QuotedPath(PathFromUtf8(failure.detail));
    }
    if (failure.error) {
        reason += ": " + SystemReason(failure);
    }
    return reason;
}

}  // namespace

std::string RunFailureReason(const RunFailure& failure) {
    switch (failure.kind) {
        case RunFailureKind::NotARegularFile:
            return "リンク・パイプ・フォルダーがあります / a link, a pipe or a folder stands at " +
                   QuotedPath(failure.path) + "; it was left as it was";
        case RunFailureKind::OutputNotARegularFile:
            return NotARegularFileReason(failure);
        case RunFailureKind::OutputLinkNotFollowed:
            return "共有フォルダーにある他のユーザーのリンクです / not following " +
                   QuotedPath(failure.path) +
                   ": a link of another user in a folder that everyone may write to (sticky)";
        case RunFailureKind::OutputReadOnly:
            return "読み取り専用です / read-only: " + QuotedPath(failure.path);
        case RunFailureKind::OutputInUse: {
            // The lock is released by the system when the process holding it
            // ends, however it ends: a lock file left behind never blocks.
            const std::string lock = QuotedPath(LockPathOf(failure.path));
            return "ロックファイル " + lock + " を別の取得処理が保持しています / " + lock +
                   " is held by another teebasket run until it ends";
        }
        case RunFailureKind::Unexpected:
        case RunFailureKind::InvalidPortalSetting:
            return OneLine(failure.detail);
        case RunFailureKind::None:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::EarlierFileUnreadable:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
            break;
    }
    std::string system = SystemReason(failure);
    if (system.empty() && !failure.detail.empty()) {
        system = PrintableText(OneLine(failure.detail));  // the workbook library's reason
    }
    if (failure.path.empty()) {
        return system;
    }
    return QuotedPath(failure.path) + (system.empty() ? "" : ": " + system);
}

namespace {

std::string CannotResumeMessage(const std::string& detail) {
    return "前回の続きから再開できません。ファイルは変更していません。 / Cannot resume: " + detail +
           "; nothing was changed. Run without --resume to start afresh.";
}

// "神奈川県 20 件、今回の一覧にないもの 2 件" and "14 神奈川県: 20, not in
// this run's listings: 2": the earlier courses outside the selection, by
// prefecture.
struct OutsideCounts {
    std::string japanese;
    std::string english;
};

OutsideCounts CountsOutside(const CoursesOutside& outside) {
    OutsideCounts counts;
    int placed = 0;
    const auto add = [&counts](const std::string& japanese, const std::string& english) {
        counts.japanese += (counts.japanese.empty() ? "" : "、") + japanese;
        counts.english += (counts.english.empty() ? "" : ", ") + english;
    };
    for (const PrefectureCourses& prefecture : outside.byPrefecture) {
        const std::string name = PrefectureNameUtf8(prefecture.row);
        add(name + " " + Count(prefecture.courses) + " 件",
            Count(PrefectureCode(prefecture.row)) + " " + name + ": " + Count(prefecture.courses));
        placed += prefecture.courses;
    }
    if (outside.courses > placed) {
        const std::string unlisted = Count(outside.courses - placed);
        add("今回の一覧にないもの " + unlisted + " 件", "not in this run's listings: " + unlisted);
    }
    // Known to be outside without a request: rows that do not say their
    // prefecture were left unchecked.
    if (!outside.unplaced.empty()) {
        const std::string unchecked = Count(static_cast<int>(outside.unplaced.size()));
        counts.japanese += "。ほかに住所がなく確かめていない行 " + unchecked + " 件";
        counts.english += "; " + unchecked + " more without an address, not checked";
    }
    return counts;
}

// Resuming would drop the earlier courses of other prefectures: the run is
// refused, and says which.
std::string OtherSelectionRefusal(const HarvestReport& report) {
    const CoursesOutside& outside = report.resume.outside;
    const std::string path = QuotedPath(report.failure.path);
    const std::string courses = Count(outside.courses);
    const OutsideCounts counts = CountsOutside(outside);
    return "前回の続きから再開できません。" + path + " には今回選んだ都道府県以外のゴルフ場が " +
           courses + " 件あり（" + counts.japanese +
           "）、再開するとその行が失われます。ファイルは変更していません。 / Cannot resume: " +
           path + " holds " + courses + " courses outside this run's selection (" + counts.english +
           "), which the resumed file would drop; nothing was changed. Select their prefectures "
           "too, or write to another file.";
}

std::string ResumeRefusal(const HarvestReport& report) {
    const RunFailure& failure = report.failure;
    const std::string path = QuotedPath(failure.path);
    switch (failure.kind) {
        case RunFailureKind::EarlierFileUnreadable:
            return CannotResumeMessage(path +
                                       " cannot be read: " + EnglishErrorText(failure.error));
        case RunFailureKind::EarlierFileTooLarge:
            return CannotResumeMessage(path + " is too large to be a file this program wrote");
        case RunFailureKind::EarlierFileForeign:
            return CannotResumeMessage("the first line of " + path +
                                       " is not the header line that teebasket writes");
        case RunFailureKind::EarlierFileOtherPortal:
            return CannotResumeMessage("the course lines of " + path +
                                       " name pages of another portal, not " + failure.detail);
        case RunFailureKind::EarlierFileOtherSelection:
        case RunFailureKind::None:
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::OutputInUse:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputNotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::Unexpected:
            break;
    }
    return OtherSelectionRefusal(report);
}

// "（N 件、前回分 K 件・新規 F 件" and " N courses in "X", K kept from the
// earlier file and F fetched": what a resumed run's file holds.
struct ResumedCounts {
    std::string japanese;
    std::string english;
};

ResumedCounts CountsOfResumedRun(const HarvestReport& report) {
    const std::string lines = Count(report.linesInFile);
    const std::string kept = Count(report.coursesKept);
    const std::string fetched = Count(report.rowsWritten);
    return {"（" + DestinationJapanese(report) + " に " + lines + " 件、前回分 " + kept +
                " 件・新規 " + fetched + " 件",
            CountOf(report.linesInFile, "course") + " in " + Destination(report) + ", " + kept +
                " kept from the earlier file and " + fetched + " fetched"};
}

std::string DoneMessage(const HarvestReport& report) {
    if (report.files == FileOutcome::ResumedFileInPlace) {
        const ResumedCounts counts = CountsOfResumedRun(report);
        return "情報の取得が完了しました" + counts.japanese + "）。 / Done: " + counts.english +
               ".";
    }
    const std::string rows = Count(report.rowsWritten);
    return "情報の取得が完了しました（" + rows + " 件を " + DestinationJapanese(report) +
           " に保存）。 / Done: " + CountOf(report.rowsWritten, "course") + " written to " +
           Destination(report) + ".";
}

std::string PagesNotReadMessage(const HarvestReport& report) {
    const std::string pages = Count(static_cast<int>(report.pageFailures.size()));
    if (!HasCourses(report)) {
        return "取得できなかったページが " + pages + " 件あり、保存した行はありません。" +
               DestinationJapanese(report) + " は変更していません。 / " + PagesNotRead(report) +
               " not read (listed above), and no course was written: " + Destination(report) +
               " was left as it was.";
    }
    if (report.files == FileOutcome::ResumedFileInPlace) {
        const ResumedCounts counts = CountsOfResumedRun(report);
        return "情報の取得が完了しました" + counts.japanese + "、取得できなかったページ " + pages +
               " 件）。 / Done: " + counts.english + ", but " + PagesNotRead(report) +
               " not read (listed above).";
    }
    const std::string rows = Count(report.rowsWritten);
    return "情報の取得が完了しました（" + rows + " 件を " + DestinationJapanese(report) +
           " に保存、取得できなかったページ " + pages +
           " 件）。 / Done: " + CountOf(report.rowsWritten, "course") + " written to " +
           Destination(report) + ", but " + PagesNotRead(report) + " not read (listed above).";
}

// Where the rows of a run that ended early are, in each language: each
// half of a line is composed apart, for a path may hold " / " itself.
struct RowsWhere {
    std::string japanese;
    std::string english;
};

// "The 4 courses written so far are in ", "The course written so far is in ".
std::string WrittenSoFar(const HarvestReport& report) {
    if (report.rowsWritten == 1) {
        return "The course written so far is in ";
    }
    return "The " + Count(report.rowsWritten) + " courses written so far are in ";
}

RowsWhere WhereTheRowsAre(const HarvestReport& report) {
    const std::string rows = Count(report.rowsWritten);
    switch (report.files) {
        case FileOutcome::ResumedFileInPlace: {
            const ResumedCounts counts = CountsOfResumedRun(report);
            return {counts.japanese + "を保存済み）。", counts.english + "."};
        }
        case FileOutcome::NewFileInPlace:
            return {"（" + rows + " 件を " + DestinationJapanese(report) + " に保存済み）。",
                    WrittenSoFar(report) + Destination(report) + "."};
        case FileOutcome::PartialKept:
            return {"（" + rows + " 件を " + QuotedPath(report.partialPath) +
                        " に保存済み。元のファイルは変更していません。teebasket-cli --resume "
                        "で続きから取得できます）。",
                    WrittenSoFar(report) + QuotedPath(report.partialPath) + "; " +
                        Destination(report) +
                        " was left as it was, and teebasket-cli --resume continues from them."};
        case FileOutcome::NotTouched:
        case FileOutcome::HeaderOnlyFile:
        case FileOutcome::LeftAsBefore:
        case FileOutcome::StandardOutput:
            break;
    }
    return {"（保存した行はありません）。",
            "No course was written: nothing was written to " + Destination(report) + "."};
}

std::string StoppedMessage(const HarvestReport& report) {
    const RowsWhere rows = WhereTheRowsAre(report);
    return "取得処理を中断しました" + rows.japanese + " / Stopped. " + rows.english;
}

// The advice of a portal that could not be reached: a refused connection or
// an unknown name on a host the user set is a settings mistake, which
// waiting does not mend.
RowsWhere UnreachableAdvice(const HarvestReport& report) {
    if (PointsToPortalSettings(report.lastConnectionFailure)) {
        return {
            "接続先の設定（--listing-host、--booking-host、golf.ini の [Portal]）を確かめて"
            "ください",
            "please check the portal settings (--listing-host, --booking-host, [Portal] in "
            "golf.ini)."};
    }
    return {"しばらく時間を置いてから再度実行してください", "please try again later."};
}

std::string UnreachableMessage(const HarvestReport& report) {
    const RowsWhere advice = UnreachableAdvice(report);
    if (report.ending != RunEnding::PortalStoppedAnswering) {
        return "サイトへのアクセスができませんでした。" + advice.japanese +
               "。 / The portal could not be reached; " + advice.english;
    }
    const RowsWhere rows = WhereTheRowsAre(report);
    return "サイトへのアクセスができなくなりました。" + advice.japanese + rows.japanese +
           " / The portal stopped answering; " + advice.english + " " + rows.english;
}

// The reason a portal could not be reached, with the host it was.
std::string UnreachableReason(const PageFailure& failure) {
    const std::string host = PrintableText(HostOfUrl(failure.url));
    if (host.empty()) {
        return PageFailureReason(failure);
    }
    return std::string(PortalHostWords(failure.kind, Language::Japanese)) + " " + host + ": " +
           PageReasonIn(failure, Language::Japanese) + " / " +
           std::string(PortalHostWords(failure.kind, Language::English)) + " " + host + ": " +
           PageReasonIn(failure, Language::English);
}

std::string FailedMessage(const HarvestReport& report) {
    switch (report.failure.kind) {
        case RunFailureKind::OutputInUse:
            return "出力ファイルは別の取得処理が使用中です。ファイルは変更していません。 / " +
                   QuotedPath(report.failure.path) +
                   " is being written by another run: nothing was changed.";
        case RunFailureKind::EarlierFileUnreadable:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
            return ResumeRefusal(report);
        case RunFailureKind::None:
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputNotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::Unexpected:
            break;
    }
    const RunFailure& failure = report.failure;
    std::string japanese = FailureHeadline(failure.kind, report.outputFormat, Language::Japanese) +
                           "。" + DestinationJapanese(report) + " は変更していません。";
    std::string english = FailureHeadline(failure.kind, report.outputFormat, Language::English) +
                          ". " + Destination(report) + " was left as it was";
    if (report.files == FileOutcome::PartialKept) {
        const std::string partial = QuotedPath(report.partialPath);
        japanese +=
            "取得した行は " + partial + " にあり、teebasket-cli --resume で続きから取得できます。";
        english += "; the rows written are in " + partial +
                   ", and teebasket-cli --resume continues from them";
    }
    return japanese + " / " + english + ".";
}

std::string ReasonLine(const std::string& reason) {
    return "理由 / Reason: " + reason;
}

// How to go on from the rows in place: --resume asks again only for the
// courses whose page was not read. A partial file kept beside an earlier
// file says so in its own line already.
std::string ContinueLine(const HarvestReport& report, OutcomeKind kind) {
    if (report.files != FileOutcome::NewFileInPlace &&
        report.files != FileOutcome::ResumedFileInPlace) {
        return {};
    }
    switch (kind) {
        case OutcomeKind::Stopped:
        case OutcomeKind::PortalStoppedAnswering:
            return "続きから取得するには、同じ都道府県と出力ファイルで --resume を付けて実行して"
                   "ください。 / To continue, run teebasket-cli again with the same "
                   "prefectures, the same output file and --resume.";
        case OutcomeKind::PagesNotRead:
            return "取得できなかったページだけを取得し直すには、同じ都道府県と出力ファイルで "
                   "--resume を付けて実行してください。 / To read only the pages not read "
                   "again, run teebasket-cli again with the same prefectures, the same output "
                   "file and --resume.";
        case OutcomeKind::EveryCourseRead:
        case OutcomeKind::NothingFound:
        case OutcomeKind::NothingFoundPagesNotRead:
        case OutcomeKind::Unreachable:
        case OutcomeKind::Failed:
            break;
    }
    return {};
}

}  // namespace

std::vector<std::string> OutcomeLines(const HarvestReport& report) {
    std::vector<std::string> lines;
    const OutcomeKind kind = OutcomeOf(report).kind;
    switch (kind) {
        case OutcomeKind::EveryCourseRead:
            lines.push_back(DoneMessage(report));
            break;
        case OutcomeKind::PagesNotRead:
        case OutcomeKind::NothingFoundPagesNotRead:
            lines.push_back(PagesNotReadMessage(report));
            break;
        case OutcomeKind::NothingFound:
            lines.push_back(
                "該当する情報は見つかりませんでした。 / Nothing found: nothing was "
                "written to " +
                Destination(report) + ".");
            break;
        case OutcomeKind::Stopped:
            lines.push_back(StoppedMessage(report));
            break;
        case OutcomeKind::PortalStoppedAnswering:
        case OutcomeKind::Unreachable:
            lines.push_back(UnreachableMessage(report));
            lines.push_back(ReasonLine(UnreachableReason(report.lastConnectionFailure)));
            break;
        case OutcomeKind::Failed:
            lines.push_back(FailedMessage(report));
            if (const std::string reason = RunFailureReason(report.failure); !reason.empty()) {
                lines.push_back(ReasonLine(reason));
            }
            break;
    }
    if (std::string line = ContinueLine(report, kind); !line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string HistoryWarning(const HarvestReport& report) {
    if (report.history != HistoryKeeping::NotKept) {
        return {};
    }
    return "警告: " + std::string(HistoryNotKeptWords(Language::Japanese)) +
           "。 / Warning: " + std::string(HistoryNotKeptWords(Language::English)) + ": " +
           PrintableText(report.historyProblem) + ".";
}

std::string UsageErrorMessage(const UsageProblem& problem) {
    return "コマンドラインまたは設定に誤りがあります: " + problem.japanese +
           "（teebasket-cli --help を参照）。 / Bad usage or configuration: " + problem.english +
           " (see teebasket-cli --help).";
}

std::string CannotWriteMessage(const std::string& detail) {
    return "ファイルに保存できませんでした。 / The output could not be written: " + detail + ".";
}

std::vector<std::string> StartNotes(const HarvestReport& report, bool quiet) {
    std::vector<std::string> notes;
    if (report.nothingToResume) {
        // Said even when quiet: the run asked for is not the one that starts.
        notes.push_back(
            "再開するファイルがないため、最初から取得します。 / Nothing to resume: "
            "neither " +
            QuotedPath(report.partialPath) + " nor " + Destination(report) +
            " exists; starting a new run.");
    } else if (report.partialReplaced) {
        // Said even when quiet: rows are lost.
        notes.push_back("前回の中断したファイルを破棄して最初から取得します。 / Starting afresh: " +
                        QuotedPath(report.partialPath) +
                        " of an interrupted run is replaced (--resume would continue it).");
    }
    if (report.resume.resumed && !quiet) {
        const ResumeStart& start = report.resume;
        const std::string earlier = QuotedPath(start.earlierPath);
        notes.push_back(earlier + " から再開します（" + Count(start.earlierCourses) +
                        " 行のうち取得済み " + Count(start.keepable) + " 件）。 / Resuming from " +
                        earlier + ": " + Count(start.keepable) + " of its " +
                        Count(start.earlierCourses) +
                        " course lines hold a page that was read; only the other courses are "
                        "requested.");
    }
    return notes;
}

std::string StoppedAtOnceMessage(const std::filesystem::path& partial) {
    const std::string where = QuotedPath(partial);
    return "取得処理を中断しました。ここまでの行は " + where +
           " にあり、teebasket-cli --resume で続きから取得できます。 / Stopped at once: the rows "
           "written so far are in " +
           where + "; teebasket-cli --resume continues from them.";
}

}  // namespace teebasket::cli
