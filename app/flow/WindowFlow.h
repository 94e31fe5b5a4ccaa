// WindowFlow: the life of a run in the main window, as values and without Qt.
//
// The window asks this library what to show and what to do: Start goes
// through StartFlow (the selection, the save dialog, the overwrite and resume
// questions) to a run; the run's phases move by the transitions below
// (Cancel, a close, the run's end); EndOfRunFor says how the end is shown.
// Every question is a Message, which the window shows as a message box and
// answers with an Answer. Texts are UTF-8, the window's Japanese.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "HarvestRun.h"
#include "OutputFormat.h"
#include "RunOutcome.h"
#include "RunProgress.h"

namespace teebasket::flow {

// ---------------------------------------------------------------------------
// Messages

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { Information, Question, Error };
enum class Answer { Ok, Yes, No, Cancel };

// A message box: what it says, its buttons and icon. The first button is the
// default unless `secondIsDefault`; `details` (when not empty) is offered
// behind the box's details button.
struct Message {
    std::string caption;
    std::string text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::Information;
    bool secondIsDefault = false;
    bool topmost = true;  // above every other window
    std::string details;
    // The buttons' own words in their order (Yes, No, Cancel), in place of
    // the standard ones; empty for the standard ones.
    std::vector<std::string> buttonTexts;

    bool operator==(const Message&) const = default;
};

// `pattern` with %1, %2, ... replaced by `values` in one pass: a value is
// never searched for placeholders itself.
std::string FillIn(std::string_view pattern, const std::vector<std::string>& values);

// Captions and texts shared with other parts of the window.
inline constexpr std::string_view kCaptionError = "Error";
inline constexpr std::string_view kSaveDialogTitle = "取得情報の保存先を指定してください";
inline constexpr std::string_view kDefaultFileName = "ゴルフ場一覧.csv";
// The reason given when the harvest thread ended without its final call.
inline constexpr std::string_view kReasonThreadEnded = "取得処理のスレッドが途中で終了しました。";

// A moment in the user's local time.
struct ClockTime {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;
    int hour = 0;
    int minute = 0;

    bool operator==(const ClockTime&) const = default;
};

ClockTime LocalClockTime(std::chrono::system_clock::time_point when);
// "2026-12-09 14:50", as golf.ini keeps it, and back; nothing for any other
// text.
std::string ClockTimeValue(const ClockTime& time);
std::optional<ClockTime> ParseClockTime(std::string_view value);

Message CloseQuestion();
Message CancelQuestion();
// golf.ini could not be written; `reason` says why.
Message SettingsNotSavedMessage(std::string reason);
// The finished file is gone, or no program opens it (`shownPath` as the
// user reads paths).
Message FileMissingMessage();
Message FileNotOpenedMessage(std::string_view shownPath);

// ---------------------------------------------------------------------------
// The file types of the save dialog

struct OutputType {
    std::string filter;  // "CSVファイル (*.csv)"
    OutputFormat format;
    std::string extension() const;  // ".csv"
};

// The code-page-932 CSV first, the default.
const std::vector<OutputType>& OutputTypes();
std::vector<std::string> OutputTypeFilters();
// The type at `index`, the first when there is none there.
const OutputType& OutputTypeAt(int index);
// The index of the type of `format`.
int OutputTypeIndex(OutputFormat format);

// `chosen` with `extension` appended unless its extension (from the last dot
// of the file name on) is `extension` in any case.
std::string AppendExtension(const std::string& chosen, std::string_view extension);
// The extension (".xlsx") of a filter ("Excelブック (*.xlsx)"); "" for none.
std::string FilterExtension(std::string_view filter);
// `name`, its extension changed to that of `chosen` when it is that of one of
// `filters`; any other name as it is.
std::string WithTypeExtension(const std::string& name, const std::vector<std::string>& filters,
                              std::string_view chosen);

// ---------------------------------------------------------------------------
// The settings file and the last run

// Why golf.ini could not be written: the profile writer's reason (English,
// for the rare failures without a system error) and the system's error.
struct SettingsWriteFailure {
    std::filesystem::path file;
    std::string reason;
    std::error_code error;

    explicit operator bool() const { return !reason.empty(); }
};

// Sets `key` of `section` in golf.ini (every other line kept).
SettingsWriteFailure WriteSetting(const std::filesystem::path& iniFile, const std::string& section,
                                  const std::string& key, const std::string& value);

// The [LastRun] section of golf.ini: the last run that left courses to be
// read (it was stopped, or some pages could not be read), so that Start can
// offer to continue it.
struct LastRunRecord {
    std::string output;  // the output path (UTF-8)
    std::string area;    // the selection as an Area value
    OutputFormat format = OutputFormat::Csv;
    // What the run left, for the question that offers to continue it: the
    // courses in its file, those its listings named (when every listing of
    // the selection was read), the course pages it could not read, and when
    // it ended.
    std::optional<int> courses{};
    std::optional<int> coursesListed{};
    std::optional<int> pagesNotRead{};
    std::optional<ClockTime> ended{};
};

// Whether Start continues the last run (Yes: 続きから, the default), starts
// over (No: 最初から) or goes back (Cancel), with what the run left when
// the record says it.
Message ResumeQuestion(const LastRunRecord& last = {});

// The Area value of `rows`.
std::string AreaOfRows(const std::vector<int>& rows);

// The record, or nothing when golf.ini holds none.
std::optional<LastRunRecord> LoadLastRun(const std::filesystem::path& iniFile);
// A path that an INI value cannot hold (a line break in it) is not recorded.
SettingsWriteFailure SaveLastRun(const std::filesystem::path& iniFile, const LastRunRecord& record);
SettingsWriteFailure ForgetLastRun(const std::filesystem::path& iniFile);

// The last run in golf.ini wrote `output` (UTF-8) in `format` for `rows`, left
// courses to be read, and its rows are still there, in the partial file or
// in the file itself.
bool LastRunLeftCoursesAt(const std::filesystem::path& iniFile, const std::string& output,
                          OutputFormat format, const std::vector<int>& rows);

// The course lines a run left in its file, or in the partial file that it
// kept beside an earlier file.
int RowsLeft(const HarvestReport& report);

// What the window saw of a run besides its report.
struct RunTally {
    std::optional<int> coursesListed;  // when every prefecture's listing was seen
    ClockTime ended;
};

// After a run into `output` (UTF-8): golf.ini remembers a run that left
// courses to be read, and forgets it once a run on the same file has read
// every course. A run whose thread failed, or a missing data folder, leaves
// it alone.
SettingsWriteFailure RecordLastRun(const std::filesystem::path& iniFile, const std::string& output,
                                   const HarvestRequest& request, const HarvestReport& report,
                                   bool threadFailed, const RunTally& tally = {});

// The save dialog's last choice, which the next Start offers: the path
// (UTF-8) and the file type's index; the default name and the first type
// when golf.ini has none. The window keeps it while it runs and writes it
// with the other settings.
struct SaveChoice {
    std::string path{kDefaultFileName};
    int filter = 0;

    bool operator==(const SaveChoice&) const = default;
};
SaveChoice LastSaveChoice(const std::filesystem::path& iniFile);
SettingsWriteFailure RememberSaveChoice(const std::filesystem::path& iniFile,
                                        const SaveChoice& choice);

// ---------------------------------------------------------------------------
// Start

// One step of Start: what the window does next.
struct StartStep {
    enum class Kind {
        Nothing,     // Start goes no further
        Tell,        // show `message`; Start goes no further
        ChooseFile,  // run the save dialog: FileChosen
        Ask,         // ask `message`: Answered
        Run,         // start the run: StartFlow::output(), format(), resume()
    };
    Kind kind = Kind::Nothing;
    Message message;

    bool operator==(const StartStep&) const = default;
};

// What Start asks, in order: a prefecture must be ticked; the save dialog
// (offering the last choice) names the file and its type, whose extension is
// appended; the last run into the same file, format and prefectures may be
// continued, which comes first; an earlier file may be overwritten, asked
// only when the run starts over (the dialog itself asks nothing, so that its
// answer never hides the offer to continue).
class StartFlow {
  public:
    // Start pressed with the prefectures `rows` ticked; `iniFile` holds the
    // last run; the save dialog offers `offered`.
    StartFlow(std::filesystem::path iniFile, std::vector<int> rows, SaveChoice offered = {});

    StartStep Begin();
    // The save dialog's answer: `path` (UTF-8, "" when cancelled) and the
    // index of the chosen file type.
    StartStep FileChosen(const std::string& path, int filter);
    StartStep Answered(Answer answer);

    // The output path as far as Start has it: the last choice (or the
    // default name) until a file is chosen, then the chosen name with its
    // type's extension.
    const std::string& output() const { return output_; }
    // The file type that the save dialog offers.
    int filter() const { return filter_; }
    OutputFormat format() const { return format_; }
    bool resume() const { return resume_; }

  private:
    enum class Question { None, Overwrite, Resume };

    StartStep AskToOverwrite();

    std::filesystem::path iniFile_;
    std::vector<int> rows_;
    std::string output_;
    int filter_ = 0;
    OutputFormat format_ = OutputFormat::Csv;
    bool resume_ = false;
    Question asked_ = Question::None;
};

// ---------------------------------------------------------------------------
// The phases of a run

// The window's side of a run: Idle -> Running (Start); Running -> Stopping
// (Cancel or a close confirmed); Running or Stopping -> Ending (the run's
// final call, or its thread gone without one); Ending -> Idle (the outcome
// shown) or Closed (a close was confirmed); Idle -> Closed (the window
// closes).
enum class RunPhase {
    Idle,      // no run: Start may be pressed
    Running,   // a run goes and nobody has asked it to stop
    Stopping,  // Cancel or a close was confirmed: the run has been asked to stop
    Ending,    // the run is over and its outcome is being shown
    Closed,    // the window goes: nothing more is started or shown
};

// End codes of a run, written only by the window.
enum EndCode : std::uint32_t {
    kEndCompleted = 0,       // rows written (also while the run goes and nobody stopped it)
    kEndNothingFound = 1,    // the run wrote no row
    kEndCancelled = 2,       // the user confirmed Cancel
    kEndFailed = 3,          // the run could not do its work (HarvestReport::failure)
    kEndClosing = 5,         // a close confirmed after the run had ended
    kEndClosingStopped = 6,  // a close confirmed during the run, which was asked to stop
    kEndUnreachable = 9,     // the portal could not be reached
};

// A question asked during a run (中断確認, 終了確認).
enum class RunQuestion {
    None,
    Open,         // shown, not yet answered
    ClosedByEnd,  // the run ended while it was open: closed, its answer void
};

// Where a run stands.
struct RunState {
    RunPhase phase = RunPhase::Idle;
    std::uint32_t endCode = kEndCompleted;
    bool closeAsked = false;  // a close was confirmed: the run's end closes the window
    RunQuestion question = RunQuestion::None;

    bool operator==(const RunState&) const = default;
};

// A transition: the state after it, and what the window does.
struct RunStep {
    RunState state;
    bool stopRun = false;  // ask the run to stop
    // Save the settings and close the window, ending with this code.
    std::optional<std::uint32_t> closeWindow;

    bool operator==(const RunStep&) const = default;
};

// The state of a run that starts.
RunState Started();

// What Cancel does.
enum class CancelAction {
    None,          // no run to stop
    Ask,           // CancelQuestion, then CancelConfirmed on Yes
    RequestAgain,  // the run is stopping: asked again, which changes nothing
};
// `runGoing`: the run has not yet made its final call.
CancelAction CancelPressed(const RunState& state, bool runGoing);

// What a request to close the window does.
enum class CloseAction {
    Close,         // the window is going already
    SaveAndClose,  // no run: the settings are saved and the window goes
    Ask,           // a run goes or its end is shown: CloseQuestion, then CloseConfirmed on Yes
};
CloseAction CloseRequested(const RunState& state);

// The Cancel question answered Yes. It ran the event loop: the run may have
// ended meanwhile.
RunStep CancelConfirmed(const RunState& state);
// The close question answered Yes (or the session ends).
RunStep CloseConfirmed(const RunState& state);
// The run's final call, or its thread gone without one: Running or Stopping
// -> Ending, with the end code. `codeOfRun` is what the run's own ending
// gives (EndCodeOfRun). A question still open is closed by the end
// (RunQuestion::ClosedByEnd): the window closes it before the end is shown,
// so that one box is shown at a time.
RunState RunOver(const RunState& state, std::uint32_t codeOfRun);

// A question of the run is shown; and its answer once its box has returned:
// the user's, or nothing when the run's end closed it meanwhile.
RunState QuestionShown(const RunState& state);
std::optional<Answer> QuestionAnswered(RunState& state, Answer answer);

// The end code that a run's own ending gives, when nobody stopped it.
std::uint32_t EndCodeOfRun(const HarvestReport& report, bool threadFailed);

// The end code of a run that ended by itself, from the engine's account of
// it: a stop the window did not ask for, or the portal's, counts by its rows.
EndCode EndCodeOf(const RunOutcome& outcome);

// ---------------------------------------------------------------------------
// The end of a run

// The failure wording that the window supplies (texts in UTF-8).
struct FailureWording {
    // The host of a page that could not be connected to, and why.
    std::function<std::string(const PageFailure&)> pageFailure;
    // The pages that could not be read, one entry each.
    std::function<std::string(const std::vector<PageFailure>&)> pagesNotRead;
    // Why the run failed (its request gives the portal settings).
    std::function<std::string(const HarvestRequest&, const HarvestReport&)> runFailure;
    // The courses that continuing `earlier` would lose.
    std::function<std::string(const CoursesOutside&, const std::filesystem::path& earlier)>
        coursesOutside;
};

// How a run's end is shown.
struct EndOfRun {
    std::optional<Message> message;
    bool beepAndFlash = false;  // the sound and the taskbar flash before it
    bool openOnYes = false;     // Yes opens the finished file
    bool closeWindow = false;   // the window closes instead

    bool operator==(const EndOfRun&) const = default;
};

// The end of a run with `code`; `threadFailure` is why its thread ended
// without its final call ("" when it did not). A stop ends with a notice
// that says where the rows are.
EndOfRun EndOfRunFor(std::uint32_t code, const HarvestRequest& request, const HarvestReport& report,
                     const std::string& threadFailure, const FailureWording& wording);

// ---------------------------------------------------------------------------
// The status lines

// The status line of the times during a run: the time so far and the time
// left at the pace so far, or the retry being waited for.
class ProgressLines {
  public:
    // The run's calls: its prefectures counted, a prefecture begun, a course
    // begun.
    void Start(int prefectureCount);
    void Step();
    void Status(int courseIndex, int courseTotal, std::chrono::milliseconds elapsed);
    // A page is to be asked for again.
    void Retry(const PendingRetry& retry);

    // "経過 0:12　残り 約1:40" (the time left once some of the run is done), or
    // "再試行中（2 回目、6 秒後）" until the next course begins.
    std::string TimesLine() const;
    // The courses the listings named, once every prefecture has shown its
    // count.
    std::optional<int> CoursesListed() const;

  private:
    ProgressSnapshot snapshot_;
    int listedBefore_ = 0;     // courses of the prefectures before the current one
    bool countShown_ = false;  // the current prefecture has shown its count
    std::optional<PendingRetry> retry_;
};

// The line that says how the run with `code` ended and when:
// "完了：40 件（14:50）".
std::string OutcomeLine(std::uint32_t code, const HarvestReport& report, const ClockTime& ended);

}  // namespace teebasket::flow
