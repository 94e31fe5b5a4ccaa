// The window's run flow without a window: Start and its questions, the
// transitions of a run, its end code and end message, and the last-run
// record in golf.ini (real files in a temporary folder).
#include <gtest/gtest.h>

#include "ProfileFile.h"
#include "TestSupport.h"
#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {
namespace {

using Kind = StartStep::Kind;

std::string Utf8(const std::filesystem::path& path) {
    return PathText(path);
}

// Each wording names what it was given, so that a message shows which was used.
FailureWording TaggedWording() {
    FailureWording wording;
    wording.pageFailure = [](const PageFailure& failure) { return "page " + failure.url; };
    wording.pagesNotRead = [](const std::vector<PageFailure>& failures) {
        return failures.empty() ? std::string() : std::to_string(failures.size()) + " pages";
    };
    wording.runFailure = [](const HarvestRequest&, const HarvestReport& report) {
        return "run failure " + report.failure.detail;
    };
    wording.coursesOutside = [](const CoursesOutside&, const std::filesystem::path& earlier) {
        return "outside " + Utf8(earlier.filename());
    };
    return wording;
}

PageFailure FailedPage(std::string url) {
    PageFailure failure;
    failure.url = std::move(url);
    return failure;
}

class StartFlowTest : public ::testing::Test {
  protected:
    std::filesystem::path Ini() const { return folder_.path() / "golf.ini"; }
    std::string File(const std::string& name) const { return Utf8(folder_.path() / name); }
    StartFlow Flow(std::vector<int> rows = {12}) const { return StartFlow(Ini(), std::move(rows)); }

    test::TempDir folder_;
};

TEST_F(StartFlowTest, NothingTickedOrTheDialogCancelledStartsNothing) {
    StartFlow none = Flow({});
    const StartStep told = none.Begin();
    EXPECT_EQ(told.kind, Kind::Tell);
    EXPECT_EQ(told.message.caption, "Error");
    EXPECT_EQ(told.message.text, "都道府県は１つ以上を選択してください。");
    EXPECT_EQ(told.message.buttons, Buttons::Ok);
    EXPECT_EQ(told.message.icon, Icon::Information);
    EXPECT_TRUE(told.message.topmost);

    StartFlow flow = Flow();
    EXPECT_EQ(flow.Begin().kind, Kind::ChooseFile);
    EXPECT_EQ(flow.output(), "ゴルフ場一覧.csv");
    EXPECT_EQ(flow.FileChosen("", 2).kind, Kind::Nothing);
    EXPECT_EQ(flow.output(), "ゴルフ場一覧.csv");
}

TEST_F(StartFlowTest, ChosenTypeGivesTheFormatAndTheExtension) {
    struct Case {
        int filter;
        std::string chosen, expected;
        OutputFormat format;
    };
    for (const Case& c : std::vector<Case>{{0, "list", "list.csv", OutputFormat::Csv},
                                           {1, "list.CSV", "list.CSV", OutputFormat::CsvUtf8},
                                           {2, "list.csv", "list.csv.xlsx", OutputFormat::Xlsx},
                                           {3, "list.jsonl", "list.jsonl", OutputFormat::Jsonl},
                                           {9, "list", "list.csv", OutputFormat::Csv}}) {
        StartFlow flow = Flow();
        flow.Begin();
        EXPECT_EQ(flow.FileChosen(File(c.chosen), c.filter).kind, Kind::Run) << c.chosen;
        EXPECT_EQ(flow.output(), File(c.expected));
        EXPECT_EQ(flow.format(), c.format);
        EXPECT_FALSE(flow.resume());
    }
}

TEST_F(StartFlowTest, AnEarlierFileIsAskedAboutOnceTheNameIsWhole) {
    test::WriteFileBytes(folder_.path() / "list.csv", "x");
    std::filesystem::create_directory(folder_.path() / "folder.csv");

    StartFlow flow = Flow();
    const StartStep asked = flow.FileChosen(File("list"), 0);
    ASSERT_EQ(asked.kind, Kind::Ask);
    EXPECT_EQ(asked.message.caption, "上書き確認");
    EXPECT_EQ(asked.message.text, "list.csv は既に存在します。\n上書きしますか？");
    EXPECT_EQ(asked.message.buttons, Buttons::YesNo);
    EXPECT_TRUE(asked.message.secondIsDefault);
    EXPECT_EQ(flow.Answered(Answer::No).kind, Kind::Nothing);

    StartFlow yes = Flow();
    yes.FileChosen(File("list"), 0);
    EXPECT_EQ(yes.Answered(Answer::Yes).kind, Kind::Run);
    // The dialog asks nothing itself; a folder is for the run to refuse.
    EXPECT_EQ(Flow().FileChosen(File("list.csv"), 0).kind, Kind::Ask);
    EXPECT_EQ(Flow().FileChosen(File("folder"), 0).kind, Kind::Run);
#ifndef _WIN32
    std::filesystem::create_symlink(folder_.path() / "gone", folder_.path() / "link.csv");
    EXPECT_EQ(Flow().FileChosen(File("link"), 0).kind, Kind::Ask);
#endif
}

TEST_F(StartFlowTest, LastRunOfTheSameFileFormatAndSelectionIsOfferedToContinue) {
    const std::string output = File("list.xlsx");
    ASSERT_FALSE(SaveLastRun(Ini(), {output, AreaOfRows({3, 12}), OutputFormat::Xlsx}));
    const auto start = [&](std::vector<int> rows, int filter) {
        StartFlow flow = Flow(std::move(rows));
        return std::pair{flow.FileChosen(output, filter), flow};
    };
    // The record without the file or its partial file offers nothing.
    EXPECT_EQ(start({3, 12}, 2).first.kind, Kind::Run);

    test::WriteFileBytes(PartialPathOf(PathFromUtf8(output)), "rows");
    auto [asked, flow] = start({12, 3}, 2);
    ASSERT_EQ(asked.kind, Kind::Ask);
    EXPECT_EQ(asked.message, ResumeQuestion());
    EXPECT_EQ(asked.message.caption, "再開確認");
    EXPECT_EQ(asked.message.text, "前回の続きから取得しますか？");
    EXPECT_EQ(asked.message.buttons, Buttons::YesNoCancel);
    EXPECT_FALSE(asked.message.secondIsDefault);  // Enter continues
    EXPECT_EQ(asked.message.buttonTexts,
              (std::vector<std::string>{"続きから", "最初から", "キャンセル"}));
    StartFlow no = flow;
    EXPECT_EQ(flow.Answered(Answer::Yes).kind, Kind::Run);
    EXPECT_TRUE(flow.resume());
    EXPECT_EQ(no.Answered(Answer::No).kind, Kind::Run);
    EXPECT_FALSE(no.resume());
    EXPECT_EQ(start({3, 12}, 2).second.Answered(Answer::Cancel).kind, Kind::Nothing);

    EXPECT_EQ(start({3}, 2).first.kind, Kind::Run);      // another selection
    EXPECT_EQ(start({3, 12}, 3).first.kind, Kind::Run);  // another format
}

// The offer to continue comes before the question about the earlier file,
// which only 最初から asks; it says how far the last run came and when.
TEST_F(StartFlowTest, ResumeIsOfferedBeforeTheEarlierFileIsAskedAbout) {
    const std::string output = File("list.csv");
    test::WriteFileBytes(PathFromUtf8(output), "earlier");
    test::WriteFileBytes(PartialPathOf(PathFromUtf8(output)), "rows");
    HarvestRequest request;
    request.selection.rows = {12};
    HarvestReport report;
    report.ending = RunEnding::Stopped;
    report.files = FileOutcome::PartialKept;
    report.rowsWritten = 12;
    const RunTally tally{20, ClockTime{2026, 12, 9, 14, 50}};
    ASSERT_FALSE(RecordLastRun(Ini(), output, request, report, false, tally));

    const auto chosen = [&](StartFlow& flow) { return flow.FileChosen(output, 0); };
    StartFlow flow = Flow();
    const StartStep asked = chosen(flow);
    ASSERT_EQ(asked.kind, Kind::Ask);
    EXPECT_EQ(asked.message.caption, "再開確認");
    EXPECT_EQ(
        asked.message.text,
        "前回（12月9日 14:50）の取得は 20 件中 12 件で止まっています。続きから取得しますか？");
    EXPECT_EQ(flow.Answered(Answer::Yes).kind, Kind::Run);
    EXPECT_TRUE(flow.resume());

    StartFlow over = Flow();
    chosen(over);
    const StartStep overwrite = over.Answered(Answer::No);
    ASSERT_EQ(overwrite.kind, Kind::Ask);
    EXPECT_EQ(overwrite.message.caption, "上書き確認");
    StartFlow careful = over;
    EXPECT_EQ(over.Answered(Answer::Yes).kind, Kind::Run);
    EXPECT_FALSE(over.resume());
    EXPECT_EQ(careful.Answered(Answer::No).kind, Kind::Nothing);

    StartFlow back = Flow();
    chosen(back);
    EXPECT_EQ(back.Answered(Answer::Cancel).kind, Kind::Nothing);

    // A run that went to its end with a course page not read says so.
    report.ending = RunEnding::Finished;
    report.files = FileOutcome::NewFileInPlace;
    report.linesInFile = 20;
    report.pageFailures = {FailedPage("https://a/course")};
    report.pageFailures[0].kind = PageKind::Detail;
    ASSERT_FALSE(RecordLastRun(Ini(), output, request, report, false, tally));
    StartFlow repair = Flow();
    EXPECT_EQ(chosen(repair).message.text,
              "前回（12月9日 14:50）の取得では 20 件中 1 件のページを取得できませんでした。"
              "続きから取得しますか？");

    // A listing not read leaves the total open.
    report.ending = RunEnding::Stopped;
    report.files = FileOutcome::PartialKept;
    report.pageFailures = {FailedPage("https://a/listing")};
    report.pageFailures[0].kind = PageKind::Listing;
    ASSERT_FALSE(RecordLastRun(Ini(), output, request, report, false, tally));
    StartFlow open = Flow();
    EXPECT_EQ(chosen(open).message.text,
              "前回（12月9日 14:50）の取得は 12 件で止まっています。続きから取得しますか？");
}

TEST_F(StartFlowTest, SaveDialogOffersTheLastChoice) {
    StartFlow first = Flow();
    first.Begin();
    EXPECT_EQ(first.output(), "ゴルフ場一覧.csv");
    EXPECT_EQ(first.filter(), 0);

    EXPECT_EQ(LastSaveChoice(Ini()), SaveChoice{});
    ASSERT_FALSE(RememberSaveChoice(Ini(), {File("関東.xlsx"), 2}));
    EXPECT_EQ(LastSaveChoice(Ini()), (SaveChoice{File("関東.xlsx"), 2}));
    StartFlow next(Ini(), {12}, LastSaveChoice(Ini()));
    EXPECT_EQ(next.Begin().kind, Kind::ChooseFile);
    EXPECT_EQ(next.output(), File("関東.xlsx"));
    EXPECT_EQ(next.filter(), 2);
    EXPECT_FALSE(RememberSaveChoice(Ini(), {File("a\nb.csv"), 0}));
    EXPECT_EQ(LastSaveChoice(Ini()).path, File("関東.xlsx"));  // not recordable: kept
}

TEST(ClockTimeTest, KeptAsTextAndReadBack) {
    const ClockTime time{2026, 1, 2, 3, 4};
    EXPECT_EQ(ClockTimeValue(time), "2026-01-02 03:04");
    EXPECT_EQ(ParseClockTime("2026-01-02 03:04"), time);
    for (const char* bad : {"", "2026-13-02 03:04", "2026-01-02 24:00", "2026-01-02T03:04",
                            "2026-01-02 03:0x", "２０２６-01-02 03:04"}) {
        EXPECT_FALSE(ParseClockTime(bad)) << bad;
    }
}

TEST(FileTypesTest, ExtensionRules) {
    EXPECT_EQ(OutputTypeFilters().front(), "CSVファイル (*.csv)");
    EXPECT_EQ(OutputTypeAt(2).extension(), ".xlsx");
    EXPECT_EQ(FilterExtension("Excelブック (*.xlsx)"), ".xlsx");
    EXPECT_EQ(FilterExtension("All (*)"), "");

    EXPECT_EQ(AppendExtension("/d/list.cSv", ".csv"), "/d/list.cSv");
    EXPECT_EQ(AppendExtension("/d/list.", ".csv"), "/d/list..csv");
    EXPECT_EQ(AppendExtension("/d.csv/list", ".csv"), "/d.csv/list.csv");
    EXPECT_EQ(AppendExtension("C:\\d.csv\\list", ".csv"), "C:\\d.csv\\list.csv");
    EXPECT_EQ(AppendExtension("/d/.csv", ".csv"), "/d/.csv");
    EXPECT_EQ(AppendExtension("/d/ゴルフ場一覧", ".csv"), "/d/ゴルフ場一覧.csv");

    const std::vector<std::string> filters = OutputTypeFilters();
    EXPECT_EQ(WithTypeExtension("一覧.XLSX", filters, filters[3]), "一覧.jsonl");
    EXPECT_EQ(WithTypeExtension("一覧.txt", filters, filters[2]), "一覧.txt");
    EXPECT_EQ(WithTypeExtension(".csv", filters, filters[2]), ".csv");
}

TEST(FillInTest, ValuesAreNotSearchedForPlaceholders) {
    EXPECT_EQ(FillIn("%1 と %2", {"a%2", "b"}), "a%2 と b");
    EXPECT_EQ(FillIn("%3 100%", {"a"}), "%3 100%");
}

TEST(RunPhasesTest, CancelStopsARunOnceAndLateAnswersChangeLittle) {
    const RunState running = Started();
    EXPECT_EQ(running, (RunState{RunPhase::Running, kEndCompleted, false}));
    EXPECT_EQ(CancelPressed(running, true), CancelAction::Ask);
    EXPECT_EQ(CancelPressed(running, false), CancelAction::None);  // its end is on its way

    const RunStep stop = CancelConfirmed(running);
    EXPECT_EQ(stop.state, (RunState{RunPhase::Stopping, kEndCancelled, false}));
    EXPECT_TRUE(stop.stopRun);
    EXPECT_EQ(CancelPressed(stop.state, true), CancelAction::RequestAgain);

    // Answered after the run ended, or after a close was confirmed.
    const RunStep late = CancelConfirmed(RunState{RunPhase::Idle, kEndCompleted, false});
    EXPECT_EQ(late.state, (RunState{RunPhase::Idle, kEndCancelled, false}));
    EXPECT_FALSE(late.stopRun);
    const RunState closing{RunPhase::Stopping, kEndClosingStopped, true};
    EXPECT_EQ(CancelConfirmed(closing).state, closing);
    EXPECT_EQ(CancelPressed(RunState{}, true), CancelAction::None);
}

TEST(RunPhasesTest, ConfirmedCloseStopsTheRunOrClosesAfterItsEnd) {
    EXPECT_EQ(CloseRequested(RunState{}), CloseAction::SaveAndClose);
    EXPECT_EQ(CloseRequested(RunState{RunPhase::Ending, kEndCompleted, false}), CloseAction::Ask);
    EXPECT_EQ(CloseRequested(RunState{RunPhase::Closed, kEndClosing, false}), CloseAction::Close);

    const RunStep during = CloseConfirmed(RunState{RunPhase::Running, kEndCompleted, false});
    EXPECT_EQ(during.state, (RunState{RunPhase::Stopping, kEndClosingStopped, true}));
    EXPECT_TRUE(during.stopRun);
    EXPECT_FALSE(during.closeWindow);

    const RunStep shown = CloseConfirmed(RunState{RunPhase::Ending, kEndCompleted, false});
    EXPECT_EQ(shown.state, (RunState{RunPhase::Ending, kEndCompleted, true}));
    EXPECT_FALSE(shown.stopRun);

    const RunStep ended = CloseConfirmed(RunState{});
    EXPECT_EQ(ended.closeWindow, std::optional<std::uint32_t>(kEndClosing));
    const RunState closed{RunPhase::Closed, kEndClosing, false};
    const RunStep none = CloseConfirmed(closed);
    EXPECT_EQ(none.state, closed);
    EXPECT_FALSE(none.stopRun || none.closeWindow);
}

// A question open when the run ends is closed by it: its answer counts for
// nothing, and the end is shown alone.
TEST(RunPhasesTest, QuestionOpenAtTheEndIsAnsweredByIt) {
    RunState asked = QuestionShown(Started());
    EXPECT_EQ(asked.question, RunQuestion::Open);
    RunState still = asked;
    EXPECT_EQ(QuestionAnswered(still, Answer::Yes), std::optional<Answer>(Answer::Yes));
    EXPECT_EQ(still.question, RunQuestion::None);

    RunState over = RunOver(asked, kEndCompleted);
    EXPECT_EQ(over.question, RunQuestion::ClosedByEnd);
    EXPECT_EQ(over.endCode, kEndCompleted);
    EXPECT_EQ(QuestionAnswered(over, Answer::Yes), std::nullopt);
    EXPECT_EQ(over.question, RunQuestion::None);
    EXPECT_EQ(RunOver(Started(), kEndCompleted).question, RunQuestion::None);
}

TEST(RunPhasesTest, EndCodeOfARunAndOfOneThatWasStopped) {
    HarvestReport report;
    const std::vector<std::pair<RunEnding, std::uint32_t>> codes{
        {RunEnding::Finished, kEndCompleted},
        {RunEnding::Stopped, kEndCompleted},
        {RunEnding::NothingFound, kEndNothingFound},
        {RunEnding::Unreachable, kEndUnreachable},
        {RunEnding::PortalStoppedAnswering, kEndUnreachable},
        {RunEnding::Failed, kEndFailed}};
    for (const auto& [ending, code] : codes) {
        report.ending = ending;
        EXPECT_EQ(EndCodeOfRun(report, false), code);
        EXPECT_EQ(EndCodeOfRun(report, true), kEndFailed);
    }
    const RunState running{RunPhase::Running, kEndCompleted, false};
    EXPECT_EQ(RunOver(running, kEndNothingFound),
              (RunState{RunPhase::Ending, kEndNothingFound, false}));
    const RunState stopping{RunPhase::Stopping, kEndCancelled, false};
    EXPECT_EQ(RunOver(stopping, kEndCompleted).endCode, kEndCancelled);
    EXPECT_EQ(RunOver(stopping, kEndUnreachable).endCode, kEndCancelled);
    EXPECT_EQ(RunOver(stopping, kEndFailed).endCode, kEndFailed);
    EXPECT_EQ(RunOver(RunState{RunPhase::Stopping, kEndClosingStopped, true}, kEndFailed).endCode,
              kEndClosingStopped);
}

EndOfRun End(std::uint32_t code, const HarvestReport& report, const std::string& thread = "",
             const HarvestRequest& request = {}) {
    return EndOfRunFor(code, request, report, thread, TaggedWording());
}

TEST(EndOfRunTest, FinishedNothingFoundAndUnreachableRuns) {
    HarvestReport report;
    const EndOfRun done = End(kEndCompleted, report);
    ASSERT_TRUE(done.message);
    EXPECT_EQ(done.message->caption, "処理確認");
    EXPECT_EQ(done.message->text, "情報の取得が完了しました。\n保存したファイルを開きますか？");
    EXPECT_EQ(done.message->buttons, Buttons::YesNo);
    EXPECT_TRUE(done.message->secondIsDefault);
    EXPECT_TRUE(done.beepAndFlash && done.openOnYes);
    EXPECT_EQ(done.message->details, "");

    report.pageFailures = {FailedPage("https://a/1"), FailedPage("https://a/2")};
    EXPECT_EQ(End(kEndCompleted, report).message->text,
              "情報の取得が完了しました。\n取得できなかったページが 2 件あります。\n"
              "保存したファイルを開きますか？");
    EXPECT_EQ(End(kEndCompleted, report).message->details, "2 pages");
    HarvestRequest request;
    request.output.path = std::filesystem::path(u8"/d/関東.csv");
    report.linesInFile = 40;
    EXPECT_EQ(End(kEndCompleted, report, "", request).message->text,
              "情報の取得が完了しました。\n40 件を 関東.csv に保存しました。\n"
              "取得できなかったページが 2 件あります。\n保存したファイルを開きますか？");

    const EndOfRun nothing = End(kEndNothingFound, report);
    EXPECT_EQ(nothing.message->caption, "検索終了");
    EXPECT_EQ(nothing.message->text,
              "該当する情報は見つかりませんでした。\n取得できなかったページが 2 件あります。");
    EXPECT_FALSE(nothing.beepAndFlash || nothing.openOnYes);

    report.lastConnectionFailure = FailedPage("https://a/3");
    const EndOfRun unreachable = End(kEndUnreachable, report);
    EXPECT_EQ(unreachable.message->caption, "Error");
    EXPECT_EQ(unreachable.message->icon, Icon::Information);
    EXPECT_EQ(unreachable.message->text,
              "サイトへのアクセスができませんでした。\r\nしばらく時間を置いてから再度実行"
              "してください。\npage https://a/3");

    // Refused by a host the user set: the settings, not the moment, are at
    // fault.
    report.lastConnectionFailure.error = FetchError::Refused;
    EXPECT_EQ(End(kEndUnreachable, report).message->text,
              "サイトへのアクセスができませんでした。\r\n右クリックの「接続先の設定」で、ホスト名"
              "とポート番号を確かめてください。\npage https://a/3");
    // A portal that stopped answering after some rows: how to go on.
    report.ending = RunEnding::PortalStoppedAnswering;
    report.rowsWritten = 5;
    EXPECT_TRUE(End(kEndUnreachable, report)
                    .message->text.ends_with("\npage https://a/3\n同じファイルと都道府県で取得を"
                                             "開始すると、続きから取得できます。"));
}

TEST(EndOfRunTest, FailedStoppedAndClosingRuns) {
    HarvestReport report;
    report.pageFailures = {FailedPage("https://a/1")};
    report.failure = {RunFailureKind::OutputNotWritten, "/d/list.csv", {}, "disk"};
    const EndOfRun failed = End(kEndFailed, report);
    EXPECT_EQ(failed.message->icon, Icon::Error);
    EXPECT_EQ(failed.message->text, "情報の取得中にエラーが発生しました。\nrun failure disk");
    EXPECT_EQ(failed.message->details, "1 pages");
    const EndOfRun thread = End(kEndFailed, report, "thread gone");
    EXPECT_EQ(thread.message->text, "情報の取得中にエラーが発生しました。\nthread gone");
    EXPECT_EQ(thread.message->details, "");

    report.failure.kind = RunFailureKind::OutputInUse;
    EXPECT_EQ(End(kEndFailed, report).message->text,
              "選択されたファイルが他のアプリケーションで使用中の為\n開くことができませんでした。");
    report.failure.kind = RunFailureKind::EarlierFileOtherSelection;
    EXPECT_EQ(End(kEndFailed, report).message->text, "outside list.csv");

    // A stop says where the rows are, in a notice.
    HarvestRequest request;
    request.output.path = "/d/list.csv";
    report.files = FileOutcome::NewFileInPlace;
    report.linesInFile = 5;
    const EndOfRun inPlace = End(kEndCancelled, report, "", request);
    ASSERT_TRUE(inPlace.message);
    EXPECT_EQ(inPlace.message->caption, "取得中断");
    EXPECT_EQ(inPlace.message->buttons, Buttons::Ok);
    EXPECT_EQ(inPlace.message->icon, Icon::Information);
    EXPECT_EQ(inPlace.message->text,
              "取得処理を中断しました。\n取得済みの 5 件は /d/list.csv に保存しました。\n"
              "同じファイルと都道府県で取得を開始すると、続きから取得できます。");
    report.files = FileOutcome::LeftAsBefore;
    EXPECT_EQ(
        End(kEndCancelled, report).message->text,
        "取得処理を中断しました。\n取得したゴルフ場はありません。元のファイルは変更していません。");
    report.files = FileOutcome::HeaderOnlyFile;
    EXPECT_EQ(End(kEndCancelled, report).message->text,
              "取得処理を中断しました。\n取得したゴルフ場はありません。");
    report.files = FileOutcome::PartialKept;
    report.rowsWritten = 4;
    report.resume.resumed = true;
    report.resume.earlierCourses = 3;
    report.partialPath = "/d/list.csv.partial";
    const EndOfRun stopped = End(kEndCancelled, report);
    EXPECT_EQ(stopped.message->caption, "取得中断");
    EXPECT_EQ(
        stopped.message->text,
        "取得処理を中断しました。\n"
        "取得済みの 7 件は /d/list.csv.partial に保存しました。元のファイルは変更していません。\n"
        "同じファイルと都道府県で取得を開始すると、続きから取得できます。");

    EXPECT_EQ(End(kEndClosingStopped, report), (EndOfRun{std::nullopt, false, false, true}));
    EXPECT_EQ(End(kEndClosing, report), (EndOfRun{std::nullopt, false, false, true}));
}

TEST(EndOfRunTest, AHistoryNotKeptIsSaidBelowTheMessageAndWhyInItsDetails) {
    HarvestReport report;
    report.files = FileOutcome::NewFileInPlace;
    report.history = HistoryKeeping::NotKept;
    report.historyProblem = "no space";
    const EndOfRun done = End(kEndCompleted, report);
    EXPECT_EQ(done.message->text,
              "情報の取得が完了しました。\n保存したファイルを開きますか？\n"
              "（取得履歴に残せませんでした）");
    EXPECT_EQ(done.message->details, "取得履歴に残せませんでした: no space");
    EXPECT_TRUE(done.openOnYes);

    report.history = HistoryKeeping::Kept;
    EXPECT_EQ(End(kEndCompleted, report).message->details, "");
}

TEST(StatusLinesTest, TimesRetriesAndHowTheRunEnded) {
    using std::chrono::milliseconds;
    ProgressLines lines;
    lines.Start(2);
    EXPECT_EQ(lines.TimesLine(), "");
    lines.Step();
    lines.Status(1, 4, milliseconds(0));
    EXPECT_EQ(lines.TimesLine(), "経過 0:00");  // nothing done yet: no time left
    lines.Status(3, 4, milliseconds(60000));
    EXPECT_EQ(lines.TimesLine(), "経過 1:00\u3000残り 約3:00");
    lines.Retry(PendingRetry{2, milliseconds(5500), "https://a/3"});
    EXPECT_EQ(lines.TimesLine(), "再試行中（2 回目、6 秒後）");
    EXPECT_FALSE(lines.CoursesListed());
    lines.Step();
    EXPECT_FALSE(lines.CoursesListed());  // its listing has not said yet
    lines.Status(1, 6, milliseconds(90000));
    EXPECT_EQ(lines.TimesLine(), "経過 1:30\u3000残り 約1:30");
    EXPECT_EQ(lines.CoursesListed(), std::optional<int>(10));

    HarvestReport report;
    report.files = FileOutcome::NewFileInPlace;
    report.linesInFile = 40;
    const ClockTime at{2026, 12, 9, 14, 50};
    EXPECT_EQ(OutcomeLine(kEndCompleted, report, at), "完了：40 件（14:50）");
    EXPECT_EQ(OutcomeLine(kEndCancelled, report, at), "中断：40 件（14:50）");
    EXPECT_EQ(OutcomeLine(kEndUnreachable, report, at), "接続できず：40 件（14:50）");
    report.linesInFile = 0;
    EXPECT_EQ(OutcomeLine(kEndUnreachable, report, at), "接続できず（14:50）");
    EXPECT_EQ(OutcomeLine(kEndNothingFound, report, at), "該当なし（14:50）");
    EXPECT_EQ(OutcomeLine(kEndFailed, report, ClockTime{2026, 1, 1, 9, 5}), "エラー（9:05）");
    EXPECT_EQ(OutcomeLine(kEndClosing, report, at), "");
}

class LastRunTest : public StartFlowTest {
  protected:
    SettingsWriteFailure Record(RunEnding ending, FileOutcome files, bool pagesNotRead = false,
                                const std::string& output = "list.csv", bool thread = false) {
        HarvestReport report;
        report.ending = ending;
        report.files = files;
        report.rowsWritten = 1;
        report.everyListingRead = ending == RunEnding::Finished;
        if (pagesNotRead) {
            report.pageFailures = {FailedPage("https://a/1")};
        }
        return RecordLastRun(Ini(), File(output), request_, report, thread);
    }

    HarvestRequest request_ = [] {
        HarvestRequest request;
        request.selection.rows = {0, 46};
        request.output.format = OutputFormat::Jsonl;
        return request;
    }();
};

TEST_F(LastRunTest, RunThatLeftCoursesIsRememberedUntilOneReadsEveryCourse) {
    EXPECT_FALSE(Record(RunEnding::Stopped, FileOutcome::NewFileInPlace, false, "list.csv", true));
    EXPECT_FALSE(LoadLastRun(Ini()));  // a failed thread leaves it alone
    EXPECT_FALSE(Record(RunEnding::Finished, FileOutcome::NewFileInPlace));
    EXPECT_FALSE(LoadLastRun(Ini()));

    EXPECT_FALSE(Record(RunEnding::Stopped, FileOutcome::NewFileInPlace));
    std::optional<LastRunRecord> last = LoadLastRun(Ini());
    ASSERT_TRUE(last);
    EXPECT_EQ(last->output, File("list.csv"));
    EXPECT_EQ(last->format, OutputFormat::Jsonl);
    EXPECT_EQ(last->area, AreaOfRows({46, 0}));

    EXPECT_FALSE(Record(RunEnding::Finished, FileOutcome::NewFileInPlace, false, "other.csv"));
    EXPECT_TRUE(LoadLastRun(Ini()));  // another file's run forgets nothing
    EXPECT_FALSE(Record(RunEnding::Finished, FileOutcome::ResumedFileInPlace, true));
    EXPECT_TRUE(LoadLastRun(Ini()));  // pages not read: still courses to read
    EXPECT_FALSE(Record(RunEnding::Finished, FileOutcome::ResumedFileInPlace));
    EXPECT_FALSE(LoadLastRun(Ini()));

    EXPECT_FALSE(Record(RunEnding::Failed, FileOutcome::PartialKept));
    EXPECT_TRUE(LoadLastRun(Ini()));
    // A path that one INI line cannot hold is not recorded.
    EXPECT_FALSE(SaveLastRun(Ini(), {File("a\nb.csv"), "", OutputFormat::Csv}));
    EXPECT_EQ(LoadLastRun(Ini())->output, File("list.csv"));
}

TEST_F(LastRunTest, SettingsFileThatCannotBeWrittenSaysWhy) {
    std::filesystem::create_directory(Ini());  // a folder where golf.ini goes
    const SettingsWriteFailure failure = Record(RunEnding::Stopped, FileOutcome::PartialKept);
    EXPECT_TRUE(failure);
    EXPECT_EQ(failure.file, Ini());
    EXPECT_EQ(SettingsNotSavedMessage("why").icon, Icon::Error);
}

}  // namespace
}  // namespace teebasket::flow
