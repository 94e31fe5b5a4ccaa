// The command line of teebasket-cli: options, pauses, hosts, output names
// and how a run's end maps to its exit code and message.
#include "CliOptions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "CliOutcome.h"
#include "CuttingRules.h"
#include "MECSUtils.h"
#include "Unithread.h"
#include "path_text.h"

namespace teebasket::cli {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

ParsedCommandLine Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

// ---------------------------------------------------------------------------
// Parsing

TEST(ParseCommandLine, OptionsTakeValuesSeparatelyOrAfterEquals) {
    const ParsedCommandLine parsed =
        Parse({"--output", "a.csv", "--config=/x/golf.ini", "東京都", "--listing-host", "l:1",
               "--booking-host=b:2", "--ca-cert", "", "-q", "tokyo", "--pause-ms=0,0", "12"});
    ASSERT_EQ(parsed.error, "");
    const CommandLine& line = parsed.values;
    EXPECT_EQ(line.output, "a.csv");
    EXPECT_EQ(line.config, "/x/golf.ini");
    EXPECT_EQ(line.listingHost, "l:1");
    EXPECT_EQ(line.bookingHost, "b:2");
    EXPECT_EQ(line.caCertificate, "");
    EXPECT_TRUE(line.quiet);
    EXPECT_FALSE(line.all);
    ASSERT_TRUE(line.pauses);
    EXPECT_EQ(line.pauses->listing, milliseconds(0));
    EXPECT_EQ(line.prefectures, (std::vector<std::string>{"東京都", "tokyo", "12"}));
}

TEST(ParseCommandLine, FlagsAndTheEndOfOptions) {
    EXPECT_TRUE(Parse({"--help"}).values.help);
    EXPECT_TRUE(Parse({"-h"}).values.help);
    EXPECT_TRUE(Parse({"--version"}).values.version);
    EXPECT_TRUE(Parse({"--all"}).values.all);
    EXPECT_TRUE(Parse({"--resume"}).values.resume);
    EXPECT_FALSE(Parse({"--all"}).values.resume);
    const ParsedCommandLine parsed = Parse({"--", "--all", "-q"});
    EXPECT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.values.all);
    EXPECT_EQ(parsed.values.prefectures, (std::vector<std::string>{"--all", "-q"}));
}

TEST(ParseCommandLine, GetoptConventions) {
    struct Case {
        std::vector<std::string> arguments;
        const char* output;
        bool quiet;
        std::vector<std::string> prefectures;
    };
    const Case cases[] = {
        {{"-qo", "a.csv", "tokyo"}, "a.csv", true, {"tokyo"}},
        {{"-oa.csv"}, "a.csv", false, {}},
        {{"-qoa.csv"}, "a.csv", true, {}},
        {{"-q", "--output=a=b.csv"}, "a=b.csv", true, {}},
        {{"-o", "-"}, "-", false, {}},
        {{"--output=-", "13"}, "-", false, {"13"}},
        {{"-o-"}, "-", false, {}},
        // A value option takes the next argument, whatever it looks like.
        {{"-o", "--all"}, "--all", false, {}},
        {{"-o", "--", "-q"}, "--", true, {}},
        {{"-o", "-q"}, "-q", false, {}},
        // The last of a repeated option counts.
        {{"-o", "a", "--output", "b", "-oc"}, "c", false, {}},
        // After "--" everything is a prefecture.
        {{"tokyo", "--", "-o", "x", "--all"}, nullptr, false, {"tokyo", "-o", "x", "--all"}},
        {{"-", "13"}, nullptr, false, {"-", "13"}},
    };
    for (const Case& c : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(c.arguments);
        ASSERT_EQ(parsed.error, "") << c.arguments[0];
        EXPECT_EQ(parsed.values.output,
                  c.output ? std::optional<std::string>(c.output) : std::optional<std::string>())
            << c.arguments[0];
        EXPECT_EQ(parsed.values.quiet, c.quiet) << c.arguments[0];
        EXPECT_EQ(parsed.values.prefectures, c.prefectures) << c.arguments[0];
        EXPECT_FALSE(parsed.values.all) << c.arguments[0];
    }
    // "--name=" is an empty value, never the next argument.
    const ParsedCommandLine empty = ParseCommandLine({"--ca-cert=", "tokyo"});
    ASSERT_EQ(empty.error, "");
    EXPECT_EQ(empty.values.caCertificate, "");
    EXPECT_EQ(empty.values.prefectures, (std::vector<std::string>{"tokyo"}));
    EXPECT_TRUE(ParseCommandLine({"-qhV"}).values.version);
    EXPECT_TRUE(ParseCommandLine({"--list-prefectures"}).values.listPrefectures);
}

TEST(ParseCommandLine, StandardOutputAndFormats) {
    EXPECT_TRUE(IsStandardOutput(ParseCommandLine({"-o", "-"}).values.output));
    EXPECT_FALSE(IsStandardOutput(ParseCommandLine({"-o", "./-"}).values.output));
    EXPECT_FALSE(IsStandardOutput(ParseCommandLine({"tokyo"}).values.output));
    EXPECT_EQ(ParseCommandLine({"--format", "XLSX"}).values.format, OutputFormat::Xlsx);
    EXPECT_EQ(ParseCommandLine({"--format=csv-utf8"}).values.format, OutputFormat::CsvUtf8);
    EXPECT_FALSE(ParseCommandLine({"tokyo"}).values.format);
    for (const OutputFormat format :
         {OutputFormat::Csv, OutputFormat::Xlsx, OutputFormat::CsvUtf8, OutputFormat::Jsonl}) {
        EXPECT_EQ(ParseOutputFormat(std::string(OutputFormatName(format))), format);
    }
    EXPECT_FALSE(ParseOutputFormat("xls"));
    EXPECT_FALSE(ParseOutputFormat("csv utf8"));

    using Output = std::optional<std::string>;
    EXPECT_EQ(FormatForOutput(std::nullopt, std::nullopt), OutputFormat::Csv);
    EXPECT_EQ(FormatForOutput(std::nullopt, Output("-")), OutputFormat::Csv);
    EXPECT_EQ(FormatForOutput(std::nullopt, Output("a.Xlsx")), OutputFormat::Xlsx);
    EXPECT_EQ(FormatForOutput(std::nullopt, Output("d.jsonl/a.JSONL")), OutputFormat::Jsonl);
    EXPECT_EQ(FormatForOutput(std::nullopt, Output("a.xlsx/list")), OutputFormat::Csv);
    EXPECT_EQ(FormatForOutput(std::nullopt, Output("a.txt")), OutputFormat::Csv);
    EXPECT_EQ(FormatForOutput(OutputFormat::CsvUtf8, Output("a.xlsx")), OutputFormat::CsvUtf8);
}

TEST(ParseCommandLine, TheCompareSubcommand) {
    ParsedCommandLine parsed =
        ParseCommandLine({"compare", "old.csv", "new.csv", "-o", "diff.txt"});
    ASSERT_EQ(parsed.error, "");
    ASSERT_TRUE(parsed.values.compare);
    EXPECT_EQ(parsed.values.compare->oldFile, "old.csv");
    EXPECT_EQ(parsed.values.compare->newFile, "new.csv");
    EXPECT_EQ(parsed.values.compare->report, "diff.txt");
    EXPECT_TRUE(parsed.values.prefectures.empty());
    EXPECT_FALSE(parsed.values.output);

    parsed = ParseCommandLine({"compare", "--", "-old.csv", "compare"});
    ASSERT_EQ(parsed.error, "");
    ASSERT_TRUE(parsed.values.compare);
    EXPECT_EQ(parsed.values.compare->oldFile, "-old.csv");
    EXPECT_EQ(parsed.values.compare->newFile, "compare");
    EXPECT_FALSE(parsed.values.compare->report);

    // "compare" after "--" is a prefecture's name, which names none.
    parsed = ParseCommandLine({"--", "compare"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.values.compare);

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"compare"},
                                               {"compare", "a"},
                                               {"compare", "a", "b", "c"},
                                               {"tokyo", "compare", "a", "b"},
                                               {"--all", "compare", "a", "b"},
                                               {"-o", "x", "compare", "a", "b"},
                                               {"compare", "a", "b", "-o"},
                                               {"compare", "a", "b", "--output="},
                                               {"compare", "a", "b", "--all"}}) {
        parsed = ParseCommandLine(wrong);
        EXPECT_NE(parsed.error, "") << wrong.back();
        EXPECT_FALSE(parsed.values.compare);
    }
}

TEST(ParseCommandLine, MistakesAreNamed) {
    struct Case {
        std::vector<std::string> arguments;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--outptu", "a.csv"}, "--outptu"},
        {{"-x"}, "-x"},
        {{"--output"}, "--output"},
        {{"--output="}, "--output"},
        {{"--config", ""}, "--config"},
        {{"--all=yes"}, "--all"},
        {{"--pause-ms", "1000"}, "--pause-ms"},
        {{"--pause-ms", "1000,abc"}, "--pause-ms"},
        {{"--pause-ms", "-1,300"}, "--pause-ms"},
        {{"--pause-ms", "1000,300,5"}, "--pause-ms"},
        {{"--pause-ms", "99999999999,300"}, "--pause-ms"},
        {{"--unknown=1"}, "--unknown"},
        {{"-qo"}, "-o"},
        {{"--all=true"}, "--all"},
        {{"--quiet="}, "--quiet"},
        {{"--format", "pdf"}, "--format"},
        {{"-qx"}, "-x"},
        {{"--help=1"}, "--help"},
    };
    for (const Case& c : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_NE(parsed.error.find(c.mentions), std::string::npos)
            << c.arguments[0] << " gave \"" << parsed.error << "\"";
    }
}

// ---------------------------------------------------------------------------
// Pauses and hosts

TEST(ParsePauses, TwoMillisecondCountsUpToAnHour) {
    const std::optional<PauseArgument> pauses = ParsePauses("1500,400");
    ASSERT_TRUE(pauses);
    EXPECT_EQ(pauses->listing, milliseconds(1500));
    EXPECT_EQ(pauses->detail, milliseconds(400));
    EXPECT_TRUE(ParsePauses("3600000,0"));
    EXPECT_FALSE(ParsePauses("3600001,0"));
    for (const char* bad :
         {"", ",", "1,", ",1", "1;2", " 1,2", "1,2 ", "+1,2", "1.5,2", "0x10,2"}) {
        EXPECT_FALSE(ParsePauses(bad)) << bad;
    }
}

TEST(PauseProblem, ShortPausesOnlyAgainstThisMachine) {
    const PauseArgument polite{milliseconds(1000), milliseconds(300)};
    const PauseArgument fast{milliseconds(0), milliseconds(0)};
    const PauseArgument halfFast{milliseconds(5000), milliseconds(299)};
    EXPECT_TRUE(PauseProblem(polite, "portal.example", "book.example").empty());
    EXPECT_TRUE(PauseProblem(fast, "127.0.0.1:1", "localhost:2").empty());
    EXPECT_FALSE(PauseProblem(fast, "127.0.0.1:1", "book.example").empty());
    EXPECT_FALSE(PauseProblem(fast, "portal.example", "[::1]:2").empty());
    const UsageProblem problem = PauseProblem(halfFast, "portal.example", "book.example");
    EXPECT_EQ(problem.japanese,
              "1000,300 ミリ秒より短い間隔は、このマシン上のポータル（127.0.0.1、::1、localhost）"
              "にだけ使えます");
}

// ---------------------------------------------------------------------------
// Output file name

// Japanese names as UTF-8 text, as the program takes them on every platform
// (a std::filesystem::path made from a plain string reads the ANSI code page
// on Windows).
const fs::path kDefaultName = PathFromUtf8("ゴルフ場一覧.csv");

TEST(OutputPathFor, TheWindowsExtensionRule) {
    const fs::path here = "/work/here";
    EXPECT_EQ(OutputPathFor(std::nullopt, here), here / kDefaultName);
    EXPECT_EQ(OutputPathFor("list", here), here / "list.csv");
    EXPECT_EQ(OutputPathFor("list.CSV", here), here / "list.CSV");
    EXPECT_EQ(OutputPathFor("list.CsV", here), here / "list.CsV");
    EXPECT_EQ(OutputPathFor("list.txt", here), here / "list.txt.csv");
    EXPECT_EQ(OutputPathFor("a.b/list", here), here / "a.b/list.csv");
    EXPECT_EQ(OutputPathFor("list.csv.bak", here), here / "list.csv.bak.csv");
    EXPECT_EQ(OutputPathFor("/abs/一覧", here), PathFromUtf8("/abs/一覧.csv"));
}

TEST(OutputPathFor, TheFormatsExtension) {
    const fs::path here = "/work/here";
    EXPECT_EQ(OutputPathFor(std::nullopt, here, OutputFormat::Xlsx),
              here / PathFromUtf8("ゴルフ場一覧.xlsx"));
    EXPECT_EQ(OutputPathFor(std::nullopt, here, OutputFormat::CsvUtf8), here / kDefaultName);
    EXPECT_EQ(OutputPathFor("list", here, OutputFormat::Jsonl), here / "list.jsonl");
    EXPECT_EQ(OutputPathFor("list.JSONL", here, OutputFormat::Jsonl), here / "list.JSONL");
    EXPECT_EQ(OutputPathFor("list.csv", here, OutputFormat::Xlsx), here / "list.csv.xlsx");
    EXPECT_EQ(OutputPathFor("out/", here, OutputFormat::Xlsx),
              here / "out" / PathFromUtf8("ゴルフ場一覧.xlsx"));
}

TEST(OutputPathFor, AFolderReceivesTheDefaultName) {
    const fs::path here = fs::temp_directory_path();
    EXPECT_EQ(OutputPathFor("out/", "/work/here"), fs::path("/work/here/out") / kDefaultName);
    EXPECT_EQ(OutputPathFor(PathText(here), "/elsewhere"), here / kDefaultName);
    EXPECT_EQ(OutputPathFor(".", here), here / "." / kDefaultName);
}

// ---------------------------------------------------------------------------
// Exit codes and closing lines

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(ExitCodeFor, FailureThenStopThenWhatWasFound) {
    HarvestReport report;
    report.ending = RunEnding::Finished;
    EXPECT_EQ(ExitCodeFor(report), kExitRowsWritten);
    report.ending = RunEnding::NothingFound;
    EXPECT_EQ(ExitCodeFor(report), kExitNothingFound);
    report.ending = RunEnding::Unreachable;
    EXPECT_EQ(ExitCodeFor(report), kExitUnreachable);
    report.ending = RunEnding::PortalStoppedAnswering;
    EXPECT_EQ(ExitCodeFor(report), kExitUnreachable);
    // Pages not read: 3, whether rows were written or not (a prefecture whose
    // listing failed was not found empty), below an unreachable portal.
    report.pageFailures.push_back(PageFailure{});
    EXPECT_EQ(ExitCodeFor(report), kExitUnreachable);
    report.ending = RunEnding::Finished;
    EXPECT_EQ(ExitCodeFor(report), kExitPagesNotRead);
    report.ending = RunEnding::NothingFound;
    EXPECT_EQ(ExitCodeFor(report), kExitPagesNotRead);
    report.ending = RunEnding::Stopped;
    EXPECT_EQ(ExitCodeFor(report), kExitStopped);
    // Each failure its code.
    report.ending = RunEnding::Failed;
    const std::pair<RunFailureKind, ExitCode> failures[] = {
        {RunFailureKind::EarlierFileOtherSelection, kExitUsage},
        {RunFailureKind::EarlierFileForeign, kExitUsage},
        {RunFailureKind::OutputNotCreated, kExitCannotWrite},
        {RunFailureKind::NoSpace, kExitCannotWrite},
        {RunFailureKind::NotARegularFile, kExitCannotWrite},
        {RunFailureKind::OutputNotARegularFile, kExitCannotWrite},
        {RunFailureKind::OutputLinkNotFollowed, kExitCannotWrite},
        {RunFailureKind::OutputReadOnly, kExitCannotWrite},
        {RunFailureKind::OutputInUse, kExitOutputInUse},
        {RunFailureKind::Unexpected, kExitUnexpected},
    };
    for (const auto& [kind, code] : failures) {
        report.failure.kind = kind;
        EXPECT_EQ(ExitCodeFor(report), code) << static_cast<int>(kind);
    }
}

TEST(ExitCodeFor, OneCodePerKindOfOutcome) {
    const std::pair<OutcomeKind, ExitCode> table[] = {
        {OutcomeKind::EveryCourseRead, kExitRowsWritten},
        {OutcomeKind::PagesNotRead, kExitPagesNotRead},
        {OutcomeKind::NothingFound, kExitNothingFound},
        {OutcomeKind::NothingFoundPagesNotRead, kExitPagesNotRead},
        {OutcomeKind::Stopped, kExitStopped},
        {OutcomeKind::PortalStoppedAnswering, kExitUnreachable},
        {OutcomeKind::Unreachable, kExitUnreachable},
    };
    for (const auto& [kind, code] : table) {
        RunOutcome outcome;
        outcome.kind = kind;
        EXPECT_EQ(ExitCodeFor(outcome), code) << static_cast<int>(kind);
    }
    RunOutcome failed;
    failed.kind = OutcomeKind::Failed;
    failed.failure = RunFailureKind::InvalidPortalSetting;
    EXPECT_EQ(ExitCodeFor(failed), kExitUsage);
    failed.failure = RunFailureKind::OutputNotPutInPlace;
    EXPECT_EQ(ExitCodeFor(failed), kExitCannotWrite);
}

// Each language's half of a line is composed apart: a path that holds " / "
// stays whole in both.
TEST(OutcomeLines, APathWithASlashBetweenBlanksStaysWhole) {
    HarvestReport report;
    report.outputPath = "/o/a / b.csv";
    report.partialPath = "/o/a / b.csv.partial";
    report.rowsWritten = 4;
    report.files = FileOutcome::PartialKept;
    report.ending = RunEnding::Stopped;
    EXPECT_EQ(
        Joined(OutcomeLines(report)),
        "取得処理を中断しました（4 件を \"/o/a / b.csv.partial\" に保存済み。元のファイルは変更"
        "していません。teebasket-cli --resume で続きから取得できます）。 / Stopped. The 4 courses "
        "written so far are in \"/o/a / "
        "b.csv.partial\"; \"/o/a / b.csv\" was left as it was, and teebasket-cli --resume "
        "continues from them.\n");
    report.ending = RunEnding::PortalStoppedAnswering;
    const std::vector<std::string> lines = OutcomeLines(report);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(),
              "サイトへのアクセスができなくなりました。しばらく時間を置いてから再度実行してください"
              "（4 件を \"/o/a / b.csv.partial\" に保存済み。元のファイルは変更していません。"
              "teebasket-cli --resume で続きから取得できます）。 / "
              "The portal stopped answering; please try again later. The 4 courses written so far "
              "are in \"/o/a / b.csv.partial\"; \"/o/a / b.csv\" was left as it was, and "
              "teebasket-cli --resume continues from them.");
}

TEST(OutcomeLines, AResumedRunSaysHowManyCoursesWereKeptAndFetched) {
    HarvestReport report;
    report.outputPath = "/o/a.csv";
    report.partialPath = "/o/a.csv.partial";
    report.resume.resumed = true;
    report.resume.earlierPath = "/o/a.csv.partial";
    report.resume.earlierCourses = 9;
    report.files = FileOutcome::ResumedFileInPlace;
    report.coursesKept = 17;
    report.rowsWritten = 3;
    report.linesInFile = 20;
    EXPECT_EQ(
        Joined(OutcomeLines(report)),
        "情報の取得が完了しました（\"/o/a.csv\" に 20 件、前回分 17 件・新規 3 件）。 / Done: "
        "20 courses in "
        "\"/o/a.csv\", 17 kept from the earlier file and 3 fetched.\n");
    report.pageFailures.push_back(PageFailure{});
    EXPECT_NE(Joined(OutcomeLines(report))
                  .find("17 kept from the earlier file and 3 fetched, but 1 page was not read"),
              std::string::npos);
    report.ending = RunEnding::Stopped;
    EXPECT_NE(Joined(OutcomeLines(report)).find("Stopped. 20 courses in"), std::string::npos);

    // A file with courses of other prefectures: how many, and where.
    report.files = FileOutcome::NotTouched;
    report.ending = RunEnding::Failed;
    report.failure.kind = RunFailureKind::EarlierFileOtherSelection;
    report.failure.path = "/o/a.csv.partial";
    report.resume.outside = {23, {{10, 1}, {13, 20}}, {}};
    const std::string refusal = Joined(OutcomeLines(report));
    EXPECT_NE(
        refusal.find("ゴルフ場が 23 件あり（埼玉県 1 件、神奈川県 20 件、今回の一覧にないもの 2 "
                     "件）、再開するとその行が失われます。ファイルは変更していません。"),
        std::string::npos)
        << refusal;
    report.files = FileOutcome::PartialKept;
    report.failure = FileFailure(RunFailureKind::OutputNotWritten, "/o/a.csv.partial",
                                 std::make_error_code(std::errc::no_space_on_device));
    const std::string lines = Joined(OutcomeLines(report));
    EXPECT_NE(lines.find("\"/o/a.csv.partial\", and teebasket-cli --resume"), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("理由 / Reason: \"/o/a.csv.partial\": 空き容量がありません / "),
              std::string::npos)
        << lines;
}

TEST(OutcomeLines, JapaneseAndEnglishThenThePreciseReason) {
    HarvestReport report;
    report.outputPath = PathFromUtf8("/o/ゴルフ場一覧.csv");
    report.rowsWritten = 7;
    report.files = FileOutcome::NewFileInPlace;
    struct Case {
        RunEnding ending;
        const char* japanese;
        const char* english;
    };
    const Case cases[] = {
        {RunEnding::Finished, "情報の取得が完了しました", "7 courses written"},
        {RunEnding::NothingFound, "該当する情報は見つかりませんでした。", "Nothing found"},
        {RunEnding::Stopped, "中断", "Stopped"},
        {RunEnding::Unreachable, "サイトへのアクセスができませんでした。", "reached"},
    };
    for (const Case& c : cases) {
        report.ending = c.ending;
        const std::vector<std::string> lines = OutcomeLines(report);
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines[0].find(c.japanese), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find(c.english), std::string::npos) << lines[0];
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        }
    }
    report.ending = RunEnding::Failed;
    report.failure = FileFailure(RunFailureKind::OutputNotCreated, "/o/x.csv.partial",
                                 std::make_error_code(std::errc::permission_denied));
    EXPECT_EQ(
        OutcomeLines(report),
        (std::vector<std::string>{
            "CSVファイルを作成できませんでした。\"/o/ゴルフ場一覧.csv\" は変更していません。 / "
            "could not create the CSV file. \"/o/ゴルフ場一覧.csv\" was left as it was.",
            "理由 / Reason: \"/o/x.csv.partial\": アクセスが拒否されました / Permission "
            "denied"}));
    report.failure = RunFailure{RunFailureKind::Unexpected, {}, {}, "line one\nline two"};
    EXPECT_EQ(OutcomeLines(report),
              (std::vector<std::string>{"予期しないエラーが発生しました。\"/o/ゴルフ場一覧.csv\" "
                                        "は変更していません。 / unexpected error. "
                                        "\"/o/ゴルフ場一覧.csv\" was left as it was.",
                                        "理由 / Reason: line one line two"}));
    // An error without a Japanese text is said once, not twice in English.
    const std::error_code noLock = std::make_error_code(std::errc::no_lock_available);
    report.failure = FileFailure(RunFailureKind::OutputNotWritten, "/o/x.csv.partial", noLock);
    EXPECT_EQ(OutcomeLines(report).back(),
              "理由 / Reason: \"/o/x.csv.partial\": " + noLock.message());

    // A page failure names the course or prefecture in UTF-8, on one line,
    // with what came from the page escaped.
    PageFailure failure;
    failure.subject = teebasket::UTF8ToAnsi("東京都\x1b]0;x\x07");
    failure.url = "https://h/doc/area/tokyo/?sort=kana&page=1";
    failure.problem = PageProblem::HttpStatus;
    failure.httpStatus = 503;
    failure.attempts = 3;
    EXPECT_EQ(PageFailureLine(failure),
              "取得できなかったページ / Page not read: 東京都\\x1B]0;x\\x07 "
              "https://h/doc/area/tokyo/?sort=kana&page=1: ポータルが一時的に応答できません"
              "（HTTP 503）（3 回試しました） / the portal is unavailable for now (HTTP 503) "
              "(3 attempts)");

    report = HarvestReport{};
    report.ending = RunEnding::Unreachable;
    report.lastConnectionFailure.error = FetchError::Refused;
    report.lastConnectionFailure.detail = "Couldn't connect to server";
    EXPECT_EQ(OutcomeLines(report).back(),
              "理由 / Reason: 接続が拒否されました / connection refused (Couldn't connect to "
              "server)");
    EXPECT_EQ(UsageErrorMessage({"bad", "誤り"}),
              "コマンドラインまたは設定に誤りがあります: 誤り（teebasket-cli --help を参照）。 / "
              "Bad usage or configuration: bad (see teebasket-cli --help).");
}

// A refused connection to a host the user set is a settings mistake: the
// line says which host, and to check the settings rather than to wait.
TEST(OutcomeLines, AnUnreachableHostIsNamedAndASettingsMistakeSaysSo) {
    HarvestReport report;
    report.ending = RunEnding::Unreachable;
    PageFailure& last = report.lastConnectionFailure;
    last.kind = PageKind::Detail;
    last.error = FetchError::Refused;
    last.attempts = 3;
    last.url = "https://typo.example.jp:8443/guide/disp/c_id/130407";
    EXPECT_EQ(OutcomeLines(report),
              (std::vector<std::string>{
                  "サイトへのアクセスができませんでした。接続先の設定（--listing-host、"
                  "--booking-host、golf.ini の [Portal]）を確かめてください。 / The portal could "
                  "not be reached; please check the portal settings (--listing-host, "
                  "--booking-host, [Portal] in golf.ini).",
                  "理由 / Reason: 詳細ページのホスト typo.example.jp:8443: 接続が拒否されました"
                  "（3 回試しました） / the booking host typo.example.jp:8443: connection refused "
                  "(3 attempts)"}));
    // A time-out, or the build's own host, may pass: wait and try again.
    last.error = FetchError::ConnectTimedOut;
    EXPECT_NE(OutcomeLines(report).front().find("しばらく時間を置いてから"), std::string::npos);
    last.error = FetchError::HostNotFound;
    last.url = DetailUrl(DefaultPortalSettings(), "130407");
    EXPECT_NE(OutcomeLines(report).front().find("please try again later"), std::string::npos);
    last.kind = PageKind::Listing;
    last.url = "https://nowhere.example.jp/doc/area/tokyo/?sort=kana&page=1";
    EXPECT_NE(OutcomeLines(report).front().find("check the portal settings"), std::string::npos);
}

// Rows in place after a stop or with pages not read: a line says how
// --resume goes on; one course or page is said in the singular.
TEST(OutcomeLines, HowToContinueAndOneInTheSingular) {
    HarvestReport report;
    report.outputPath = "/o/a.csv";
    report.rowsWritten = 1;
    report.files = FileOutcome::NewFileInPlace;
    report.ending = RunEnding::Finished;
    EXPECT_EQ(Joined(OutcomeLines(report)),
              "情報の取得が完了しました（1 件を \"/o/a.csv\" に保存）。 / Done: 1 course written "
              "to \"/o/a.csv\".\n");
    report.pageFailures.push_back(PageFailure{});
    std::vector<std::string> lines = OutcomeLines(report);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find("but 1 page was not read"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("取得できなかったページだけを取得し直すには"), std::string::npos);
    EXPECT_NE(lines[1].find("--resume"), std::string::npos);

    report.pageFailures.clear();
    report.ending = RunEnding::Stopped;
    lines = OutcomeLines(report);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find("The course written so far is in \"/o/a.csv\"."), std::string::npos);
    EXPECT_EQ(lines[1],
              "続きから取得するには、同じ都道府県と出力ファイルで --resume を付けて実行して"
              "ください。 / To continue, run teebasket-cli again with the same prefectures, the "
              "same output file and --resume.");
    // Standard output cannot be continued.
    report.files = FileOutcome::StandardOutput;
    EXPECT_EQ(OutcomeLines(report).size(), 1U);
    // A second Ctrl-C names the partial file in both halves.
    EXPECT_EQ(StoppedAtOnceMessage("/o/a.csv.partial"),
              "取得処理を中断しました。ここまでの行は \"/o/a.csv.partial\" にあり、teebasket-cli "
              "--resume で続きから取得できます。 / Stopped at once: the rows written so far are in "
              "\"/o/a.csv.partial\"; teebasket-cli --resume continues from them.");
}

}  // namespace
}  // namespace teebasket::cli
