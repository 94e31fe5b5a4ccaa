// teebasket-cli schedule: add, list, remove, and the scheduled run.
#include "ScheduleCommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ctime>
#include <optional>
#include <system_error>

#include "CliOptions.h"
#include "CliOutcome.h"
#include "CliRun.h"
#include "HarvestConfig.h"
#include "Language.h"
#include "OutputCompare.h"
#include "OutputReader.h"
#include "PrefectureNames.h"
#include "ProgramEnvironment.h"
#include "Schedule.h"
#include "ScheduleAlerts.h"
#include "ScheduleBook.h"
#include "SchedulePreviousRun.h"
#include "ScheduleState.h"
#include "ScheduleSystem.h"
#include "SchedulerFiles.h"
#include "TerminalStream.h"
#include "path_text.h"

namespace teebasket::cli {

namespace fs = std::filesystem;
using schedule::Alert;
using schedule::Schedule;
using schedule::ScheduleResult;
using schedule::StepOutcome;
using schedule::Words;

namespace {

struct AddArguments {
    std::string name;
    std::optional<std::string> monthly;
    std::optional<std::string> weekly;
    std::string at;
    std::vector<std::string> prefectures;
    bool all = false;
    std::optional<std::string> output;
    std::optional<std::string> format;
    std::optional<std::string> config;
    std::optional<std::string> listingHost;
    std::optional<std::string> bookingHost;
    std::optional<std::string> caCertificate;
    std::optional<std::string> pauses;
    bool noRegister = false;
};

struct ScheduleArguments {
    bool help = false;
    std::optional<std::string> dataFolder;
    AddArguments add;
    std::string name;  // remove, run
};

void PrintLine(std::FILE* stream, const std::string& line) {
    WriteText(stream, line + "\n");
}

int EndWithUsageProblem(const Words& problem) {
    PrintLine(stderr, UsageErrorMessage(UsageProblem{problem.english, problem.japanese}));
    return kExitUsage;
}

// A line in both languages, Japanese first; a command or a path once.
std::string BothLanguages(const Words& line) {
    return line.japanese == line.english ? line.english : line.japanese + " / " + line.english;
}

int ExitCodeOf(StepOutcome outcome) {
    switch (outcome) {
        case StepOutcome::Done:
            return kExitRowsWritten;
        case StepOutcome::CannotWrite:
            return kExitCannotWrite;
        case StepOutcome::SchedulerUnavailable:
            return kExitSchedulerUnavailable;
        case StepOutcome::UnknownSchedule:
            return kExitUsage;
    }
    return kExitUsage;
}

// The step's lines, on standard output when it went well, and its exit code.
int EndWithStep(const schedule::SystemStep& step) {
    for (const Words& line : step.lines) {
        PrintLine(step.outcome == StepOutcome::Done ? stdout : stderr, BothLanguages(line));
    }
    return ExitCodeOf(step.outcome);
}

fs::path CurrentFolder() {
    std::error_code error;
    fs::path folder = fs::current_path(error);
    return error ? fs::path(".") : folder;
}

fs::path Absolute(const std::string& utf8) {
    const fs::path path = ExpandHome(utf8);
    return path.is_absolute() ? path : CurrentFolder() / path;
}

fs::path DataFolderOf(const ScheduleArguments& arguments) {
    if (arguments.dataFolder) {
        return Absolute(*arguments.dataFolder);
    }
    return DataFolder(ExecutableFolder());
}

fs::path CliProgram() {
#ifdef _WIN32
    return ExecutableFolder() / "teebasket-cli.exe";
#else
    return ExecutableFolder() / "teebasket-cli";
#endif
}

void DescribeAdd(CLI::App& add, AddArguments& values) {
    add.add_option("name", values.name)->required();
    add.add_option("prefectures", values.prefectures);
    add.add_option("--monthly", values.monthly);
    add.add_option("--weekly", values.weekly);
    add.add_option("--at", values.at)->required();
    add.add_flag("--all", values.all);
    add.add_option("-o,--output", values.output);
    add.add_option("--format", values.format);
    add.add_option("--config", values.config);
    add.add_option("--listing-host", values.listingHost);
    add.add_option("--booking-host", values.bookingHost);
    add.add_option("--ca-cert", values.caCertificate);
    add.add_option("--pause-ms", values.pauses);
    add.add_flag("--no-register", values.noRegister);
}

// The subcommand given, or "" with `error` set.
std::string ParseScheduleArguments(const std::vector<std::string>& arguments,
                                   ScheduleArguments& values, std::string& error) {
    CLI::App app;
    app.set_help_flag();
    app.allow_windows_style_options(false);
    app.require_subcommand(0, 1);
    app.add_flag("-h,--help", values.help);
    app.add_option("--data-folder", values.dataFolder);
    CLI::App* add = app.add_subcommand("add");
    CLI::App* list = app.add_subcommand("list");
    CLI::App* remove = app.add_subcommand("remove");
    CLI::App* run = app.add_subcommand("run");
    DescribeAdd(*add, values.add);
    for (CLI::App* sub : {add, list, remove, run}) {
        sub->set_help_flag();
        sub->add_flag("-h,--help", values.help);
        sub->add_option("--data-folder", values.dataFolder);
    }
    remove->add_option("name", values.name)->required();
    run->add_option("name", values.name)->required();
    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
    } catch (const CLI::Error& failure) {
        if (values.help) {
            return {};
        }
        error = failure.what();
        return {};
    }
    for (CLI::App* sub : {add, list, remove, run}) {
        if (sub->parsed()) {
            return sub->get_name();
        }
    }
    return {};
}

// The run's options that the schedule keeps, as "--name=value".
std::vector<std::string> RunOptionsOf(const AddArguments& add) {
    std::vector<std::string> options;
    if (add.listingHost) {
        options.push_back("--listing-host=" + *add.listingHost);
    }
    if (add.bookingHost) {
        options.push_back("--booking-host=" + *add.bookingHost);
    }
    if (add.caCertificate) {
        options.push_back("--ca-cert=" + (add.caCertificate->empty()
                                              ? std::string()
                                              : PathText(Absolute(*add.caCertificate))));
    }
    if (add.pauses) {
        options.push_back("--pause-ms=" + *add.pauses);
    }
    return options;
}

// The arguments of the harvest that `schedule` runs.
std::vector<std::string> RunArgumentsOf(const Schedule& schedule, bool resume) {
    std::vector<std::string> arguments;
    for (const int code : schedule.prefectures) {
        arguments.push_back(std::to_string(code));
    }
    arguments.push_back("--output=" + PathText(schedule.output));
    arguments.push_back("--format=" + std::string(OutputFormatName(schedule.format)));
    if (schedule.config) {
        arguments.push_back("--config=" + PathText(*schedule.config));
    }
    arguments.insert(arguments.end(), schedule.runOptions.begin(), schedule.runOptions.end());
    if (resume) {
        arguments.push_back("--resume");
    }
    arguments.push_back("--quiet");
    return arguments;
}

// The day of a monthly schedule ("1" ... "28"), or 0.
int MonthDayOf(const std::string& day) {
    const bool digits =
        !day.empty() && day.size() <= 2 &&
        std::all_of(day.begin(), day.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int value = digits ? std::stoi(day) : 0;
    return value >= 1 && value <= schedule::kLastScheduledDay ? value : 0;
}

// When the schedule that `add` describes runs, or why it cannot.
Words CadenceOfAdd(const AddArguments& add, Schedule& schedule) {
    if (add.monthly.has_value() == add.weekly.has_value()) {
        return {"--monthly 日 か --weekly 曜日 のどちらか一方を指定してください",
                "give either --monthly DAY or --weekly WEEKDAY"};
    }
    const std::string lastDay = std::to_string(schedule::kLastScheduledDay);
    if (add.monthly) {
        schedule.cadence = schedule::Cadence::Monthly;
        schedule.day = MonthDayOf(*add.monthly);
        if (schedule.day == 0) {
            return {"--monthly には 1～" + lastDay +
                        " の日を指定してください（どの月にもある日）: 「" + *add.monthly + "」",
                    "--monthly takes a day from 1 to " + lastDay +
                        " (one that every month has), not \"" + *add.monthly + "\""};
        }
    } else {
        const std::optional<int> weekday = schedule::ParseWeekday(*add.weekly);
        if (!weekday) {
            return {"--weekly には曜日（mon、tue … または 月、火 …）を指定してください: 「" +
                        *add.weekly + "」",
                    "--weekly takes a weekday (mon, tue, ... or 月, 火, ...), not \"" +
                        *add.weekly + "\""};
        }
        schedule.cadence = schedule::Cadence::Weekly;
        schedule.day = *weekday;
    }
    if (!schedule::ParseTimeOfDay(add.at, schedule.hour, schedule.minute)) {
        return {"--at には時刻を 時:分 で指定してください: 「" + add.at + "」",
                "--at takes a time of day HH:MM, not \"" + add.at + "\""};
    }
    return {};
}

// The schedule that `add` describes, or the reason it cannot be one.
Words ScheduleOfAdd(const AddArguments& add, Schedule& schedule) {
    if (Words problem = schedule::ScheduleNameProblem(add.name); !problem.empty()) {
        return problem;
    }
    schedule.name = add.name;
    if (Words problem = CadenceOfAdd(add, schedule); !problem.empty()) {
        return problem;
    }
    if (add.all == !add.prefectures.empty()) {
        return {"都道府県を指定するか --all を指定してください（両方は指定できません）",
                "name the prefectures or give --all, not both"};
    }
    std::vector<int> rows;
    if (add.all) {
        for (int row = 0; row < kPrefectureCount; ++row) {
            rows.push_back(row);
        }
    } else {
        ResolvedPrefectures resolved = ResolvePrefectures(add.prefectures);
        if (!resolved.error.empty()) {
            return {resolved.errorJapanese, resolved.error};
        }
        rows = std::move(resolved.rows);
    }
    for (const int row : MakeSelection(rows).rows) {
        schedule.prefectures.push_back(PrefectureCode(row));
    }
    std::optional<OutputFormat> chosen;
    if (add.format) {
        chosen = ParseOutputFormat(*add.format);
        if (!chosen) {
            return {"--format には csv、xlsx、csv-utf8、jsonl のどれかを指定してください: 「" +
                        *add.format + "」",
                    "--format takes csv, xlsx, csv-utf8 or jsonl, not \"" + *add.format + "\""};
        }
    }
    if (add.output == "-") {
        return {"定期取得はファイルに書き込みます。標準出力（-o -）には書けません",
                "a schedule writes a file, not standard output (-o -)"};
    }
    schedule.format = FormatForOutput(chosen, add.output);
    schedule.output = OutputPathFor(add.output, CurrentFolder(), schedule.format);
    if (add.config) {
        schedule.config = Absolute(*add.config);
    }
    schedule.runOptions = RunOptionsOf(add);
    return {};
}

int AddSchedule(const ScheduleArguments& arguments) {
    Schedule schedule;
    if (Words problem = ScheduleOfAdd(arguments.add, schedule); !problem.empty()) {
        return EndWithUsageProblem(problem);
    }
    // The run's own checks (settings file, hosts, pauses), before anything is written.
    const PreparedRun check =
        PrepareRun(RunArgumentsOf(schedule, false), ExecutableFolder(), CurrentFolder());
    if (check.exitCode >= 0) {
        PrintLine(stderr, check.message);
        return check.exitCode;
    }
    return EndWithStep(schedule::AddSchedule(schedule, {CliProgram(), DataFolderOf(arguments)},
                                             !arguments.add.noRegister));
}

std::string PrefecturesText(const std::vector<int>& codes) {
    if (codes.size() == static_cast<std::size_t>(kPrefectureCount)) {
        return "all 47";
    }
    std::string text;
    for (const int code : codes) {
        text +=
            (text.empty() ? "" : ", ") + std::to_string(code) + " " + PrefectureNameUtf8(code - 1);
    }
    return text;
}

std::string ResultText(const ScheduleResult& result) {
    std::string text = result.finishedAt + ", exit " + std::to_string(result.exitCode);
    if (!result.summary.empty()) {
        text += ": " + result.summary;
    }
    return text;
}

void ListOne(const schedule::ScheduleEntry& entry) {
    if (!entry.schedule) {
        PrintLine(stdout, entry.name + ": " + BothLanguages(entry.problem));
        return;
    }
    const Schedule& schedule = *entry.schedule;
    PrintLine(stdout, schedule.name + "  " + schedule::CadenceText(schedule));
    PrintLine(stdout, "  都道府県 / prefectures: " + PrefecturesText(schedule.prefectures));
    PrintLine(stdout, "  出力 / output: " + PathText(schedule.output) + " (" +
                          std::string(OutputFormatName(schedule.format)) + ")");
    const schedule::ScheduleTimes& times = entry.times;
    if (times.known) {
        PrintLine(stdout, "  前回 / last run: " + (times.lastRun.empty() ? "-" : times.lastRun));
        PrintLine(stdout, "  次回 / next run: " + (times.nextRun.empty() ? "-" : times.nextRun));
    } else {
        PrintLine(stdout,
                  "  次回 / next run: 不明（スケジューラに登録されていません） / unknown "
                  "(not registered with the scheduler)");
    }
    const std::optional<ScheduleResult>& result = entry.lastResult;
    if (!result) {
        PrintLine(stdout, "  前回の結果 / last result: -");
        return;
    }
    PrintLine(stdout, "  前回の結果 / last result: " + ResultText(*result));
    if (!result->alerts.empty()) {
        PrintLine(stdout, "  要確認 / NEEDS ATTENTION:");
        for (const Alert alert : result->alerts) {
            PrintLine(stdout, "    " + schedule::AlertText(alert));
        }
    }
    if (!result->report.empty()) {
        PrintLine(stdout, "  変更の報告 / change report: " + PathText(result->report));
    }
}

int ListSchedules(const ScheduleArguments& arguments) {
    const std::vector<schedule::ScheduleEntry> entries =
        schedule::ListSchedules(DataFolderOf(arguments));
    if (entries.empty()) {
        PrintLine(stdout, "スケジュールはありません。 / No schedules.");
    }
    for (const schedule::ScheduleEntry& entry : entries) {
        ListOne(entry);
    }
    return kExitRowsWritten;
}

int RemoveSchedule(const ScheduleArguments& arguments) {
    const schedule::SystemStep step =
        schedule::RemoveSchedule(DataFolderOf(arguments), arguments.name);
    if (step.outcome == StepOutcome::UnknownSchedule) {
        return EndWithUsageProblem(step.lines.front());
    }
    return EndWithStep(step);
}

// The change report's path beside the output: NAME.changes and the
// extension of the report format that fits the output's.
fs::path ChangeReportPath(const fs::path& output, OutputFormat format) {
    std::string extension = ".csv";
    switch (format) {
        case OutputFormat::Csv:
            extension = ".csv";
            break;
        case OutputFormat::CsvUtf8:
            extension = ".txt";
            break;
        case OutputFormat::Jsonl:
            extension = ".jsonl";
            break;
        case OutputFormat::Xlsx:
            extension = ".xlsx";
            break;
    }
    fs::path stem = output;
    stem.replace_extension();
    return stem.parent_path() / PathFromUtf8(PathText(stem.filename()) + ".changes" + extension);
}

// A copy of the previous run's records, taken before the run: the history
// may drop an old run while this one is kept, and the output file is
// replaced by the run. Nothing when there is nothing to compare with.
std::optional<fs::path> KeepPreviousRecords(const fs::path& source, const Schedule& schedule,
                                            const fs::path& folder) {
    std::error_code error;
    if (!fs::is_regular_file(source, error)) {
        return std::nullopt;
    }
    const fs::path copy =
        folder / PathFromUtf8(schedule.name + ".previous" + PathText(source.extension()));
    fs::copy_file(source, copy, fs::copy_options::overwrite_existing, error);
    return error ? std::nullopt : std::optional<fs::path>(copy);
}

struct Comparison {
    std::optional<schedule::ChangeFigures> figures;
    fs::path report;
    std::string problem;  // UTF-8, when the comparison could not be made
};

Comparison CompareWithPrevious(const fs::path& previous, const Schedule& schedule) {
    Comparison comparison;
    std::vector<CourseEntry> oldEntries;
    std::vector<CourseEntry> newEntries;
    std::string error;
    if (!ReadOutputFile(previous, oldEntries, error) ||
        !ReadOutputFile(schedule.output, newEntries, error)) {
        comparison.problem = error;
        return comparison;
    }
    const CompareResult result = CompareOutputs(oldEntries, newEntries);
    comparison.figures = schedule::ChangeFigures{result.unchanged + result.changed + result.removed,
                                                 result.changed, result.removed};
    const fs::path report = ChangeReportPath(schedule.output, schedule.format);
    if (!WriteCompareReport(report, result, {PathText(previous), PathText(schedule.output)},
                            error)) {
        comparison.problem = error;
        return comparison;
    }
    comparison.report = report;
    return comparison;
}

schedule::RunFigures FiguresOf(const HarvestReport& report) {
    schedule::RunFigures figures;
    figures.fileInPlace = report.files == FileOutcome::NewFileInPlace ||
                          report.files == FileOutcome::ResumedFileInPlace;
    figures.coursesInFile = report.linesInFile;
    figures.coursePagesTried = report.rowsWritten;
    figures.coursePagesUnread = static_cast<int>(
        std::count_if(report.pageFailures.begin(), report.pageFailures.end(),
                      [](const PageFailure& failure) { return failure.kind == PageKind::Detail; }));
    figures.pagesWithoutName = report.pagesWithoutName;
    return figures;
}

// Records the result, and raises the alerts: the marker for the window and
// a desktop notification.
void RecordResult(const fs::path& dataFolder, const Schedule& schedule,
                  const ScheduleResult& result) {
    const fs::path folder = schedule::SchedulesFolderIn(dataFolder);
    std::string problem;
    if (!schedule::WriteWholeFile(schedule::StateFilePath(folder, schedule.name),
                                  schedule::ResultFileText(result), problem)) {
        PrintLine(stderr, CannotWriteMessage(problem));
    }
    if (result.alerts.empty()) {
        schedule::RemoveAttentionMarkerOf(dataFolder, schedule.name);
        return;
    }
    if (!schedule::WriteWholeFile(
            schedule::AttentionMarkerPath(dataFolder),
            schedule::AttentionMarkerText(schedule.name, result, schedule.output), problem)) {
        PrintLine(stderr, CannotWriteMessage(problem));
    }
    std::string body;
    for (const Alert alert : result.alerts) {
        PrintLine(stderr, schedule::AlertText(alert));
        body += schedule::AlertText(alert) + "\n";
    }
    body += PathText(result.report.empty() ? schedule.output : result.report);
    schedule::ShowDesktopNotice("Teebasket: " + schedule.name + " 要確認 / needs attention", body);
}

std::string NowText() {
    return IsoLocalTime(std::time(nullptr));
}

int RunScheduled(const ScheduleArguments& arguments,
                 const ClosedStandardDescriptors& closedAtStart) {
    const fs::path dataFolder = DataFolderOf(arguments);
    const fs::path folder = schedule::SchedulesFolderIn(dataFolder);
    Words problem;
    const std::optional<Schedule> loaded =
        schedule::LoadSchedule(dataFolder, arguments.name, problem);
    if (!loaded) {
        return EndWithUsageProblem(problem);
    }
    const Schedule& schedule = *loaded;
    const std::optional<fs::path> previous = KeepPreviousRecords(
        PreviousRunRecords(dataFolder, schedule.prefectures).value_or(schedule.output), schedule,
        folder);
    std::error_code ignored;
    const bool resume = fs::exists(PartialPathOf(schedule.output), ignored);
    const PreparedRun prepared =
        PrepareRun(RunArgumentsOf(schedule, resume), ExecutableFolder(), CurrentFolder());
    ScheduleResult result;
    HarvestReport report;
    if (prepared.exitCode >= 0) {
        PrintLine(stderr, prepared.message);
        result.exitCode = prepared.exitCode;
        result.summary = prepared.message;
    } else {
        result.exitCode = ExecuteRun(prepared.request, closedAtStart, &report);
        const std::vector<std::string> lines = OutcomeLines(report);
        result.summary = std::to_string(report.linesInFile) + " courses in the file" +
                         (lines.empty() ? std::string() : "; " + lines.front());
    }
    schedule::RunFigures figures = FiguresOf(report);
    if (previous && figures.fileInPlace) {
        const Comparison comparison = CompareWithPrevious(*previous, schedule);
        figures.changes = comparison.figures;
        result.report = comparison.report;
        if (!comparison.problem.empty()) {
            PrintLine(stderr,
                      "前回と比較できませんでした。 / Could not compare with the "
                      "previous run: " +
                          comparison.problem + ".");
        }
    }
    if (previous) {
        fs::remove(*previous, ignored);
    }
    result.alerts = schedule::AlertsFor(figures);
    if (!result.alerts.empty()) {
        result.exitCode = kExitNeedsAttention;
    }
    result.finishedAt = NowText();
    RecordResult(dataFolder, schedule, result);
    return result.exitCode;
}

constexpr std::string_view kScheduleUsageEnglish =
    R"(Usage: teebasket-cli schedule add NAME (--monthly DAY | --weekly WEEKDAY) --at HH:MM
                                 (--all | PREFECTURE...) [-o FILE] [--format FORMAT]
                                 [--config FILE] [--listing-host HOST] [--booking-host HOST]
                                 [--ca-cert FILE] [--pause-ms L,D] [--no-register]
       teebasket-cli schedule list
       teebasket-cli schedule remove NAME
       teebasket-cli schedule run NAME
Each also takes --data-folder DIR (default: the folder of golf.ini).

add writes a systemd user service and timer (Linux; Persistent=true: a time
missed while the computer was off runs at its next start) or a Task Scheduler
task (Windows; runs as soon as possible after a missed start, also on battery)
and registers it, unless --no-register. DAY is 1-28; WEEKDAY is mon ... sun
or 月 ... 日. A NAME is ASCII letters, digits, '-' and '_'. On Linux a user
timer runs only while you are logged in, unless: loginctl enable-linger
list shows each schedule, its last and next run and its last result.
remove unregisters a schedule and deletes its files.
run is what the scheduler starts: it asks nothing, continues a stopped run of
the same FILE (FILE.partial), compares with the previous run and writes the
change report beside FILE (FILE.changes.csv, .txt, .jsonl or .xlsx).

Exit codes: those of a run (teebasket-cli --help), and
  10  the scheduled run needs attention: it wrote nothing, could not read more
      than a tenth of its course pages, found more than a third of the courses
      changed or gone, or more than a tenth of the pages gave no name (the
      portal's layout changed); list shows it and a desktop notification says
      it
  69  the scheduler could not be reached (no user systemd): the files were
      written but not registered
)";

constexpr std::string_view kScheduleUsageJapanese =
    R"(使い方: teebasket-cli schedule add 名前 (--monthly 日 | --weekly 曜日) --at 時:分
                                  (--all | 都道府県...) [-o FILE] [--format 形式]
                                  [--config FILE] [--listing-host HOST] [--booking-host HOST]
                                  [--ca-cert FILE] [--pause-ms L,D] [--no-register]
        teebasket-cli schedule list
        teebasket-cli schedule remove 名前
        teebasket-cli schedule run 名前
どれも --data-folder DIR を取ります（既定: golf.ini のフォルダ）。

add は systemd のユーザー サービスとタイマー（Linux。Persistent=true により、
電源が切れていて実行できなかった分は次の起動時に実行します）またはタスク
スケジューラのタスク（Windows。開始時刻を過ぎたらできるだけ早く実行し、
バッテリーでも実行します）を作り、登録します（--no-register なら登録しません）。
日は 1～28、曜日は mon ～ sun または 月 ～ 日 です。名前には ASCII の英数字、
「-」「_」を使います。Linux のユーザー タイマーはログイン中だけ動きます。
ログアウト中も動かすには: loginctl enable-linger
list は各スケジュールと前回・次回の実行、前回の結果を表示します。
remove は登録を外し、スケジュールのファイルを削除します。
run はスケジューラが起動するものです。何も尋ねず、同じ FILE の中断した実行
（FILE.partial）を続け、前回の実行と比べて FILE の隣に変更の報告
（FILE.changes.csv、.txt、.jsonl または .xlsx）を書きます。

終了コード: 通常の実行と同じ（teebasket-cli --help）。加えて
  10  要確認: 何も書き込まなかった、コースのページの1割を超えて読めなかった、
      コースの3分の1を超えて変更・掲載終了があった、ページの1割を超えて名称が
      なかった（ポータルのページ構成の変更）。list に表示し、デスクトップに
      通知します
  69  スケジューラに接続できなかった（ユーザーの systemd がない）。ファイルは
      書き込みましたが登録していません
)";

}  // namespace

int RunScheduleCommand(const std::vector<std::string>& arguments,
                       const ClosedStandardDescriptors& closedAtStart) {
    ScheduleArguments values;
    std::string error;
    const std::string command = ParseScheduleArguments(arguments, values, error);
    if (values.help || (command.empty() && error.empty())) {
        WriteText(
            values.help ? stdout : stderr,
            std::string(Pick(ProcessLanguage(), kScheduleUsageJapanese, kScheduleUsageEnglish)));
        return values.help ? kExitRowsWritten : kExitUsage;
    }
    if (!error.empty()) {
        return EndWithUsageProblem(
            {"schedule の指定に誤りがあります（" + error + "）", "schedule: " + error});
    }
    if (command == "add") {
        return AddSchedule(values);
    }
    if (command == "list") {
        return ListSchedules(values);
    }
    if (command == "remove") {
        return RemoveSchedule(values);
    }
    return RunScheduled(values, closedAtStart);
}

}  // namespace teebasket::cli
