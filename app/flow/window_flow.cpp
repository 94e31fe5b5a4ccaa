// The messages of a run, the transitions of its phases and how its end is
// shown.
#include <cstdio>
#include <utility>

#include "RunWording.h"
#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {

namespace {

constexpr std::string_view kCaptionCloseQuestion = "終了確認";
constexpr std::string_view kCaptionCancelQuestion = "中断確認";
constexpr std::string_view kCaptionCompleted = "処理確認";
constexpr std::string_view kCaptionSearchEnded = "検索終了";
constexpr std::string_view kCaptionStopped = "取得中断";

constexpr std::string_view kTextFileInUse =
    "選択されたファイルが他のアプリケーションで使用中の為\n開くことができませんでした。";
constexpr std::string_view kTextCloseQuestion = "取得処理の実行中ですが終了しますか？";
constexpr std::string_view kTextCancelQuestion = "取得処理を中断します。\nよろしいですか？";
constexpr std::string_view kTextCompleted =
    "情報の取得が完了しました。\n保存したファイルを開きますか？";
constexpr std::string_view kTextCompletedWithPagesNotRead =
    "情報の取得が完了しました。\n"
    "取得できなかったページが %1 件あります。\n"
    "保存したファイルを開きますか？";
constexpr std::string_view kTextPagesNotRead = "取得できなかったページが %1 件あります。";
constexpr std::string_view kTextFileMissing = "該当するファイルが見つかりませんでした。";
constexpr std::string_view kTextFileNotOpened =
    "保存したファイルを開くプログラムが見つからないため、開くことができませんでした。\n"
    "ファイルは次の場所に保存しました:\n%1";
constexpr std::string_view kTextNothingFound = "該当する情報は見つかりませんでした。";
constexpr std::string_view kTextUnreachable =
    "サイトへのアクセスができませんでした。\r\nしばらく時間を置いてから再度実行してください。";
// A refused connection or an unknown name on a host the user set: a
// settings mistake, which waiting does not mend.
constexpr std::string_view kTextUnreachableCheckSettings =
    "サイトへのアクセスができませんでした。\r\n"
    "右クリックの「接続先の設定」で、ホスト名とポート番号を確かめてください。";
constexpr std::string_view kTextContinueOnTheSameFile =
    "同じファイルと都道府県で取得を開始すると、続きから取得できます。";
constexpr std::string_view kTextRunFailed = "情報の取得中にエラーが発生しました。\n%1";
constexpr std::string_view kTextStoppedPartialKept =
    "取得処理を中断しました。\n"
    "取得済みの %1 件は %2 に保存しました。元のファイルは変更していません。\n"
    "同じファイルと都道府県で取得を開始すると、続きから取得できます。";
constexpr std::string_view kTextStoppedInPlace =
    "取得処理を中断しました。\n"
    "取得済みの %1 件は %2 に保存しました。\n"
    "同じファイルと都道府県で取得を開始すると、続きから取得できます。";
constexpr std::string_view kTextStoppedNoCourse =
    "取得処理を中断しました。\n取得したゴルフ場はありません。";
constexpr std::string_view kTextEarlierFileKept = "元のファイルは変更していません。";
constexpr std::string_view kTextSavedAs = "%1 件を %2 に保存しました。";

constexpr std::string_view kLineCompleted = "完了：%1 件（%2）";
constexpr std::string_view kLineNothingFound = "該当なし（%1）";
constexpr std::string_view kLineStopped = "中断：%1 件（%2）";
constexpr std::string_view kLineUnreachable = "接続できず（%1）";
constexpr std::string_view kLineUnreachableWithRows = "接続できず：%1 件（%2）";
constexpr std::string_view kLineFailed = "エラー（%1）";

constexpr std::string_view kTimesLine = "経過 %1";
constexpr std::string_view kTimeLeft = "\u3000残り 約%1";
constexpr std::string_view kRetryLine = "再試行中（%1 回目、%2 秒後）";

Message Box(std::string_view caption, std::string text, Buttons buttons, Icon icon,
            std::string details = {}) {
    Message message;
    message.caption = caption;
    message.text = std::move(text);
    message.buttons = buttons;
    message.icon = icon;
    message.details = std::move(details);
    return message;
}

// An error shown as a notice (an information icon) or as an error box.
Message Notice(std::string text, std::string details = {}) {
    return Box(kCaptionError, std::move(text), Buttons::Ok, Icon::Information, std::move(details));
}

Message ErrorBox(std::string text, std::string details = {}) {
    return Box(kCaptionError, std::move(text), Buttons::Ok, Icon::Error, std::move(details));
}

std::string Count(std::size_t count) {
    return std::to_string(count);
}

// The file a run wrote, as the user reads its path.
std::filesystem::path OutputOf(const HarvestRequest& request, const HarvestReport& report) {
    return report.outputPath.empty() ? request.output.path : report.outputPath;
}

// The end-of-run texts, with the courses and the file's name after the first
// line, and the pages that could not be read when there were any.
std::string CompletedText(const HarvestRequest& request, const HarvestReport& report) {
    const std::size_t notRead = report.pageFailures.size();
    std::string text = notRead == 0 ? std::string(kTextCompleted)
                                    : FillIn(kTextCompletedWithPagesNotRead, {Count(notRead)});
    const std::filesystem::path file = OutputOf(request, report).filename();
    if (!file.empty()) {
        const std::size_t firstLineEnd = text.find('\n') + 1;
        text.insert(
            firstLineEnd,
            FillIn(kTextSavedAs, {std::to_string(RowsLeft(report)), PathText(file)}) + "\n");
    }
    return text;
}

std::string NothingFoundText(const HarvestReport& report) {
    const std::size_t notRead = report.pageFailures.size();
    std::string text(kTextNothingFound);
    if (notRead != 0) {
        text += "\n" + FillIn(kTextPagesNotRead, {Count(notRead)});
    }
    return text;
}

// The unreachable text, then the host and the precise reason of the last page
// that could not be connected to.
std::string UnreachableText(const HarvestReport& report, const FailureWording& wording) {
    const PageFailure& last = report.lastConnectionFailure;
    std::string text(PointsToPortalSettings(last) ? kTextUnreachableCheckSettings
                                                  : kTextUnreachable);
    if (!last.url.empty()) {
        text += "\n" + wording.pageFailure(last);
    }
    if (report.ending == RunEnding::PortalStoppedAnswering && HasCourses(report)) {
        text += "\n" + std::string(kTextContinueOnTheSameFile);
    }
    return text;
}

Message FailedMessage(const HarvestRequest& request, const HarvestReport& report,
                      const std::string& threadFailure, const FailureWording& wording,
                      std::string details) {
    if (threadFailure.empty() && report.failure.kind == RunFailureKind::OutputInUse) {
        return Notice(std::string(kTextFileInUse));
    }
    if (threadFailure.empty() && report.failure.kind == RunFailureKind::EarlierFileOtherSelection) {
        return ErrorBox(wording.coursesOutside(report.resume.outside, report.failure.path));
    }
    const std::string reason =
        threadFailure.empty() ? wording.runFailure(request, report) : threadFailure;
    return ErrorBox(FillIn(kTextRunFailed, {reason}), std::move(details));
}

// A stopped run says where its rows are: in the file at the output, or in
// the partial file beside an earlier file, kept to be continued.
std::string StoppedText(const HarvestRequest& request, const HarvestReport& report) {
    const std::string rows = std::to_string(RowsLeft(report));
    switch (report.files) {
        case FileOutcome::PartialKept:
            return FillIn(kTextStoppedPartialKept, {rows, PathText(report.partialPath)});
        case FileOutcome::NewFileInPlace:
        case FileOutcome::ResumedFileInPlace:
            return FillIn(kTextStoppedInPlace, {rows, PathText(OutputOf(request, report))});
        case FileOutcome::LeftAsBefore:
            return std::string(kTextStoppedNoCourse) + std::string(kTextEarlierFileKept);
        case FileOutcome::NotTouched:
        case FileOutcome::HeaderOnlyFile:
        case FileOutcome::StandardOutput:
            break;
    }
    return std::string(kTextStoppedNoCourse);
}

Message StoppedMessage(const HarvestRequest& request, const HarvestReport& report,
                       std::string details) {
    return Box(kCaptionStopped, StoppedText(request, report), Buttons::Ok, Icon::Information,
               std::move(details));
}

std::string TimeOfDay(const ClockTime& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", time.hour, time.minute);
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages

std::string FillIn(std::string_view pattern, const std::vector<std::string>& values) {
    std::string filled;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (index < values.size()) {
                filled += values[index];
                ++i;
                continue;
            }
        }
        filled += pattern[i];
    }
    return filled;
}

Message CloseQuestion() {
    return Box(kCaptionCloseQuestion, std::string(kTextCloseQuestion), Buttons::YesNo,
               Icon::Question);
}

Message CancelQuestion() {
    return Box(kCaptionCancelQuestion, std::string(kTextCancelQuestion), Buttons::YesNo,
               Icon::Question);
}

Message SettingsNotSavedMessage(std::string text) {
    return ErrorBox(std::move(text));
}

Message FileMissingMessage() {
    Message message = Notice(std::string(kTextFileMissing));
    message.topmost = false;
    return message;
}

Message FileNotOpenedMessage(std::string_view shownPath) {
    return Notice(FillIn(kTextFileNotOpened, {std::string(shownPath)}));
}

// ---------------------------------------------------------------------------
// The phases of a run

RunState Started() {
    return {RunPhase::Running, kEndCompleted, false};
}

CancelAction CancelPressed(const RunState& state, bool runGoing) {
    switch (state.phase) {
        case RunPhase::Running:
            // Once the run is over, its final call is on its way and shows
            // the end; nothing is asked then.
            return runGoing ? CancelAction::Ask : CancelAction::None;
        case RunPhase::Stopping:
            return CancelAction::RequestAgain;
        case RunPhase::Idle:
        case RunPhase::Ending:
        case RunPhase::Closed:
            break;
    }
    return CancelAction::None;
}

CloseAction CloseRequested(const RunState& state) {
    switch (state.phase) {
        case RunPhase::Closed:
            return CloseAction::Close;
        case RunPhase::Idle:
            return CloseAction::SaveAndClose;
        case RunPhase::Running:
        case RunPhase::Stopping:
        case RunPhase::Ending:
            break;
    }
    return CloseAction::Ask;
}

RunStep CancelConfirmed(const RunState& state) {
    RunStep step;
    step.state = state;
    switch (state.phase) {
        case RunPhase::Running:
            step.state.endCode = kEndCancelled;
            step.state.phase = RunPhase::Stopping;
            step.stopRun = true;
            break;
        case RunPhase::Idle:
            step.state.endCode = kEndCancelled;  // a late answer, which finds no run to stop
            break;
        case RunPhase::Stopping:  // a close confirmed meanwhile goes first
        case RunPhase::Ending:
        case RunPhase::Closed:
            break;
    }
    return step;
}

RunStep CloseConfirmed(const RunState& state) {
    RunStep step;
    step.state = state;
    switch (state.phase) {
        case RunPhase::Running:
        case RunPhase::Stopping:
            step.state.closeAsked = true;
            step.state.endCode = kEndClosingStopped;
            step.state.phase = RunPhase::Stopping;
            step.stopRun = true;
            break;
        case RunPhase::Ending:
            step.state.closeAsked = true;  // the end being shown closes the window after it
            break;
        case RunPhase::Idle:
            // The run ended while the question was open.
            step.closeWindow = kEndClosing;
            break;
        case RunPhase::Closed:
            break;
    }
    return step;
}

RunState RunOver(const RunState& state, std::uint32_t codeOfRun) {
    RunState over = state;
    over.phase = RunPhase::Ending;
    if (state.question == RunQuestion::Open) {
        over.question = RunQuestion::ClosedByEnd;
    }
    if (state.closeAsked) {
        over.endCode = kEndClosingStopped;
    } else if (state.phase != RunPhase::Stopping) {
        over.endCode = codeOfRun;
    } else {
        over.endCode = codeOfRun == kEndFailed ? kEndFailed : kEndCancelled;
    }
    return over;
}

RunState QuestionShown(const RunState& state) {
    RunState shown = state;
    shown.question = RunQuestion::Open;
    return shown;
}

std::optional<Answer> QuestionAnswered(RunState& state, Answer answer) {
    const RunQuestion question = std::exchange(state.question, RunQuestion::None);
    if (question == RunQuestion::ClosedByEnd) {
        return std::nullopt;
    }
    return answer;
}

EndCode EndCodeOf(const RunOutcome& outcome) {
    switch (outcome.kind) {
        case OutcomeKind::EveryCourseRead:
        case OutcomeKind::PagesNotRead:
        case OutcomeKind::Stopped:
            return kEndCompleted;
        case OutcomeKind::NothingFound:
        case OutcomeKind::NothingFoundPagesNotRead:
            return kEndNothingFound;
        case OutcomeKind::PortalStoppedAnswering:
        case OutcomeKind::Unreachable:
            return kEndUnreachable;
        case OutcomeKind::Failed:
            return kEndFailed;
    }
    return kEndFailed;
}

std::uint32_t EndCodeOfRun(const HarvestReport& report, bool threadFailed) {
    return threadFailed ? kEndFailed : EndCodeOf(OutcomeOf(report));
}

// ---------------------------------------------------------------------------
// The end of a run

namespace {

// The run's file is in place, but the history of runs could not keep it:
// a line says so, and the details give the reason.
void AddHistoryNotKept(Message& message, const std::string& problem) {
    const std::string words(HistoryNotKeptWords(Language::Japanese));
    message.text += "\n（" + words + "）";
    message.details =
        words + ": " + problem + (message.details.empty() ? "" : "\n\n") + message.details;
}

}  // namespace

EndOfRun EndOfRunFor(std::uint32_t code, const HarvestRequest& request, const HarvestReport& report,
                     const std::string& threadFailure, const FailureWording& wording) {
    const std::string details =
        threadFailure.empty() ? wording.pagesNotRead(report.pageFailures) : std::string();
    EndOfRun end;
    switch (code) {
        case kEndCompleted:
            end.beepAndFlash = true;
            end.openOnYes = true;
            end.message = Box(kCaptionCompleted, CompletedText(request, report), Buttons::YesNo,
                              Icon::Question, details);
            end.message->secondIsDefault = true;
            break;
        case kEndNothingFound:
            end.message = Box(kCaptionSearchEnded, NothingFoundText(report), Buttons::Ok,
                              Icon::Information, details);
            break;
        case kEndClosing:
        case kEndClosingStopped:
            end.closeWindow = true;
            break;
        case kEndUnreachable:
            end.message = Notice(UnreachableText(report, wording), details);
            break;
        case kEndFailed:
            end.message = FailedMessage(request, report, threadFailure, wording, details);
            break;
        case kEndCancelled:
            end.message = StoppedMessage(request, report, details);
            break;
        default:
            break;
    }
    if (end.message && report.history == HistoryKeeping::NotKept) {
        AddHistoryNotKept(*end.message, report.historyProblem);
    }
    return end;
}

// ---------------------------------------------------------------------------
// The status lines

void ProgressLines::Start(int prefectureCount) {
    snapshot_ = ProgressSnapshot{};
    snapshot_.prefectureCount = prefectureCount;
    listedBefore_ = 0;
    countShown_ = false;
    retry_.reset();
}

void ProgressLines::Step() {
    listedBefore_ += snapshot_.courseTotal;
    ++snapshot_.prefectureNumber;
    snapshot_.courseIndex = 0;
    snapshot_.courseTotal = 0;
    countShown_ = false;
    retry_.reset();
}

void ProgressLines::Status(int courseIndex, int courseTotal, std::chrono::milliseconds elapsed) {
    snapshot_.courseIndex = courseIndex;
    snapshot_.courseTotal = courseTotal;
    snapshot_.elapsed = elapsed;
    countShown_ = true;
    retry_.reset();
}

void ProgressLines::Retry(const PendingRetry& retry) {
    retry_ = retry;
}

std::string ProgressLines::TimesLine() const {
    if (retry_) {
        const auto seconds = (retry_->wait.count() + 999) / 1000;  // rounded up
        return FillIn(kRetryLine, {std::to_string(retry_->retry), std::to_string(seconds)});
    }
    if (snapshot_.prefectureNumber == 0) {
        return {};
    }
    std::string line = FillIn(
        kTimesLine,
        {FormatDuration(std::chrono::duration_cast<std::chrono::seconds>(snapshot_.elapsed))});
    if (const std::optional<std::chrono::seconds> left = EstimateRemaining(snapshot_)) {
        line += FillIn(kTimeLeft, {FormatDuration(*left)});
    }
    return line;
}

std::optional<int> ProgressLines::CoursesListed() const {
    if (snapshot_.prefectureNumber < snapshot_.prefectureCount || !countShown_) {
        return std::nullopt;
    }
    return listedBefore_ + snapshot_.courseTotal;
}

std::string OutcomeLine(std::uint32_t code, const HarvestReport& report, const ClockTime& ended) {
    const std::string rows = std::to_string(RowsLeft(report));
    const std::string at = TimeOfDay(ended);
    switch (code) {
        case kEndCompleted:
            return FillIn(kLineCompleted, {rows, at});
        case kEndNothingFound:
            return FillIn(kLineNothingFound, {at});
        case kEndCancelled:
            return FillIn(kLineStopped, {rows, at});
        case kEndUnreachable:
            return RowsLeft(report) > 0 ? FillIn(kLineUnreachableWithRows, {rows, at})
                                        : FillIn(kLineUnreachable, {at});
        case kEndFailed:
            return FillIn(kLineFailed, {at});
        default:
            break;
    }
    return {};
}

}  // namespace teebasket::flow
