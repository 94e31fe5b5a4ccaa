// The schedule library: settings files, systemd units and the Task Scheduler
// task as the systems read them, the last result, and the alert rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "MECSUtils.h"
#include "Schedule.h"
#include "ScheduleAlerts.h"
#include "ScheduleState.h"
#include "SchedulerFiles.h"
#include "TestSupport.h"
#include "path_text.h"

namespace teebasket::schedule {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

Schedule Monthly() {
    Schedule schedule;
    schedule.name = "kanto_monthly";
    schedule.cadence = Cadence::Monthly;
    schedule.day = 1;
    schedule.hour = 3;
    schedule.minute = 5;
    schedule.prefectures = {8, 13, 14};
    // Absolute on every system: from the root of the current folder's drive.
    const fs::path root = fs::current_path().root_path();
    schedule.output = root / PathFromUtf8("data/ゴルフ場 一覧/kanto.xlsx");
    schedule.format = OutputFormat::Xlsx;
    schedule.config = root / PathFromUtf8("home/u/.config/teebasket/golf.ini");
    schedule.runOptions = {"--pause-ms=1000,300"};
    return schedule;
}

Schedule Weekly() {
    Schedule schedule = Monthly();
    schedule.name = "weekly";
    schedule.cadence = Cadence::Weekly;
    schedule.day = *ParseWeekday("月");
    schedule.hour = 18;
    schedule.minute = 30;
    return schedule;
}

// Runs a shell command line; true when it exits 0.
bool Succeeds(const std::string& commandLine) {
    return std::system(commandLine.c_str()) == 0;
}

bool HasProgram(const std::string& name) {
    return Succeeds("command -v " + name + " >/dev/null 2>&1");
}

TEST(ScheduleFile, KeepsEveryValueAndRefusesWhatItCannotRun) {
    for (const Schedule& schedule : {Monthly(), Weekly()}) {
        std::string error;
        const std::optional<Schedule> read = ParseScheduleFile(ScheduleFileText(schedule), error);
        ASSERT_TRUE(read) << error;
        EXPECT_EQ(ScheduleFileText(*read), ScheduleFileText(schedule));
        EXPECT_EQ(read->output, schedule.output);
        EXPECT_EQ(read->runOptions, schedule.runOptions);
    }
    const std::string good = ScheduleFileText(Monthly());
    const std::string absoluteOutput = "output=" + PathText(Monthly().output);
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"day=1", "day=29"},           // not in every month
             {"day=1", "day=x"},            //
             {"time=03:05", "time=24:00"},  //
             {"prefectures=8,13,14", "prefectures=48"},
             {"prefectures=8,13,14", "prefectures="},
             {"name=kanto_monthly", "name=../x"},  // would leave the folder
             {"format=xlsx", "format=pdf"},
             {absoluteOutput, "output=data/kanto.xlsx"},  // relative
             {"cadence=monthly", "cadence=daily"},
             {"config=", "colour="},  // unknown key
         }) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        std::string error;
        EXPECT_FALSE(ParseScheduleFile(text, error)) << to;
        EXPECT_FALSE(error.empty()) << to;
    }
    std::string weeklyWithoutDay = ScheduleFileText(Weekly());
    weeklyWithoutDay.erase(weeklyWithoutDay.find("day=1\n"), 6);
    std::string error;
    EXPECT_FALSE(ParseScheduleFile(weeklyWithoutDay, error));
}

TEST(ScheduleFile, NamesTimesAndWeekdays) {
    EXPECT_TRUE(ScheduleNameProblem("kanto-2_b").empty());
    for (const char* bad :
         {"", "-x", "a b", "a/b", "東京", "a.b", "12345678901234567890123456789012345678901"}) {
        EXPECT_FALSE(ScheduleNameProblem(bad).empty()) << bad;
    }
    int hour = -1;
    int minute = -1;
    EXPECT_TRUE(ParseTimeOfDay("7:05", hour, minute));
    EXPECT_EQ(hour * 100 + minute, 705);
    for (const char* bad : {"", "7", "7:5", "24:00", "12:60", "-1:00", "123:00", "07:05:00"}) {
        EXPECT_FALSE(ParseTimeOfDay(bad, hour, minute)) << bad;
    }
    EXPECT_EQ(ParseWeekday("Mon"), 1);
    EXPECT_EQ(ParseWeekday("SUNDAY"), 0);
    EXPECT_EQ(ParseWeekday("土曜日"), 6);
    EXPECT_EQ(ParseWeekday("金曜"), 5);
    EXPECT_EQ(ParseWeekday("水"), 3);
    EXPECT_FALSE(ParseWeekday("mo"));
    EXPECT_FALSE(ParseWeekday("曜"));
    EXPECT_EQ(CadenceText(Weekly()), "weekly on Mon at 18:30");
    EXPECT_EQ(CadenceText(Monthly()), "monthly on day 1 at 03:05");
}

TEST(ScheduleFile, TheFolderListsOnlySettingsFilesOfValidNames) {
    TempDir dir;
    const fs::path folder = SchedulesFolderIn(dir.path());
    test::WriteFileBytes(ScheduleFilePath(folder, "b"), "");
    test::WriteFileBytes(ScheduleFilePath(folder, "a"), "");
    test::WriteFileBytes(StateFilePath(folder, "c"), "");
    test::WriteFileBytes(folder / "bad name.schedule", "");
    EXPECT_EQ(ScheduleNamesIn(folder), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(ScheduleNamesIn(dir.path() / "missing").empty());
}

TEST(SystemdUnits, QuoteEveryWordAsSystemdReadsIt) {
    EXPECT_EQ(SystemdQuoted("/opt/a b/teebasket-cli"), "\"/opt/a b/teebasket-cli\"");
    EXPECT_EQ(SystemdQuoted("100%$HOME\"\\"), "\"100%%$$HOME\\\"\\\\\"");
    EXPECT_EQ(SystemdQuoted("a\nb"), "\"a\\x0ab\"");
    EXPECT_EQ(OnCalendarValue(Monthly()), "*-*-01 03:05:00");
    EXPECT_EQ(OnCalendarValue(Weekly()), "Mon *-*-* 18:30:00");

    const ScheduledCommand command{"/opt/x %h/teebasket-cli", "/home/u/.config/teebasket"};
    const std::string service = SystemdServiceText(Monthly(), command);
    EXPECT_NE(service.find("ExecStart=\"/opt/x %%h/teebasket-cli\" \"schedule\" \"run\" "
                           "\"kanto_monthly\" \"--data-folder\" \"/home/u/.config/teebasket\"\n"),
              std::string::npos)
        << service;
    const std::string timer = SystemdTimerText(Weekly());
    EXPECT_NE(timer.find("\nPersistent=true\n"), std::string::npos);
    EXPECT_NE(timer.find("\nUnit=teebasket-weekly.service\n"), std::string::npos);
    EXPECT_NE(timer.find("\nWantedBy=timers.target\n"), std::string::npos);
}

// systemd's own verifier reads the units as the user manager would, with a
// program in a folder whose name needs quoting.
TEST(SystemdUnits, SystemdAnalyzeVerifiesThem) {
    if (!HasProgram("systemd-analyze")) {
        GTEST_SKIP() << "systemd-analyze is not installed (package systemd)";
    }
    TempDir dir;
    const fs::path programFolder = dir.path() / "a b%c";
    fs::create_directories(programFolder);
    fs::copy_file("/bin/true", programFolder / "teebasket-cli");
    fs::create_directories(dir.path() / "runtime");
    fs::permissions(dir.path() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    const ScheduledCommand command{programFolder / "teebasket-cli", dir.path() / "data"};
    for (const Schedule& schedule : {Monthly(), Weekly()}) {
        const fs::path service = dir.path() / ServiceUnitName(schedule);
        const fs::path timer = dir.path() / TimerUnitName(schedule);
        test::WriteFileBytes(service, SystemdServiceText(schedule, command));
        test::WriteFileBytes(timer, SystemdTimerText(schedule));
        const fs::path log = dir.path() / "verify.txt";
        const bool verified = Succeeds("XDG_RUNTIME_DIR='" + (dir.path() / "runtime").string() +
                                       "' systemd-analyze --user verify '" + timer.string() +
                                       "' '" + service.string() + "' >'" + log.string() + "' 2>&1");
        EXPECT_TRUE(verified) << test::ReadFileBytes(log);
        EXPECT_EQ(test::ReadFileBytes(log), "");
        EXPECT_TRUE(
            Succeeds("systemd-analyze calendar '" + OnCalendarValue(schedule) + "' >/dev/null"));
    }
}

TEST(TaskScheduler, TheTaskIsUtf16WithItsSettingsAndAnXmlParserReadsIt) {
    const ScheduledCommand command{PathFromUtf8("C:\\Program Files\\Teebasket\\teebasket-cli.exe"),
                                   PathFromUtf8("C:\\Users\\山田\\AppData\\Roaming\\teebasket")};
    const std::string xml = TaskXmlText(Weekly(), command, "2026-12-09");
    for (const char* expected :
         {"<StartWhenAvailable>true</StartWhenAvailable>",
          "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
          "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>",
          "<StartBoundary>2026-12-09T18:30:00</StartBoundary>",
          "<DaysOfWeek><Monday /></DaysOfWeek>",
          "<Command>C:\\Program Files\\Teebasket\\teebasket-cli.exe</Command>",
          "<Arguments>schedule run weekly --data-folder "
          "C:\\Users\\山田\\AppData\\Roaming\\teebasket</Arguments>"}) {
        EXPECT_NE(xml.find(expected), std::string::npos) << expected;
    }
    const std::string monthly = TaskXmlText(Monthly(), command, "2026-12-09");
    EXPECT_NE(monthly.find("<DaysOfMonth><Day>1</Day></DaysOfMonth>"), std::string::npos);
    EXPECT_NE(monthly.find("<December />"), std::string::npos);
    // A folder with a blank is quoted for the program's command line, and
    // an ampersand is escaped for XML.
    const std::string quoted =
        TaskXmlText(Monthly(), {"C:\\a&b\\teebasket-cli.exe", "C:\\x y\\"}, "2026-01-31");
    EXPECT_NE(quoted.find("<Command>C:\\a&amp;b\\teebasket-cli.exe</Command>"), std::string::npos);
    EXPECT_NE(quoted.find("--data-folder &quot;C:\\x y\\\\&quot;</Arguments>"), std::string::npos)
        << quoted;

    const std::string bytes = TaskXmlFileBytes(xml);
    ASSERT_GE(bytes.size(), 4U);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xff\xfe<\0", 4));
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    std::string crlf;
    for (const char c : xml) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(UTF16ToAnsi(wide, 65001), crlf);

    if (!HasProgram("python3")) {
        GTEST_SKIP() << "python3 is not installed: the XML is not parsed";
    }
    TempDir dir;
    const fs::path file = dir.path() / "task.xml";
    test::WriteFileBytes(file, bytes);
    EXPECT_TRUE(
        Succeeds("python3 -c 'import sys, xml.dom.minidom; "
                 "d = xml.dom.minidom.parse(sys.argv[1]); "
                 "sys.exit(d.getElementsByTagName(\"StartWhenAvailable\")[0]"
                 ".firstChild.data != \"true\")' '" +
                 file.string() + "'"));
}

TEST(ScheduleAlerts, EachRuleAtItsBoundary) {
    RunFigures good;
    good.fileInPlace = true;
    good.coursesInFile = 100;
    good.coursePagesTried = 100;
    good.coursePagesUnread = 10;               // a tenth: not more
    good.pagesWithoutName = 9;                 // of 90 read: a tenth
    good.changes = ChangeFigures{99, 20, 13};  // a third: not more
    EXPECT_TRUE(AlertsFor(good).empty());

    RunFigures bad = good;
    bad.coursePagesUnread = 11;
    bad.pagesWithoutName = 0;
    EXPECT_EQ(AlertsFor(bad), std::vector<Alert>{Alert::CoursePagesUnread});
    bad = good;
    bad.pagesWithoutName = 10;
    EXPECT_EQ(AlertsFor(bad), std::vector<Alert>{Alert::NamesMissing});
    bad = good;
    bad.changes->removed = 14;
    EXPECT_EQ(AlertsFor(bad), std::vector<Alert>{Alert::ManyChanged});
    bad = good;
    bad.changes.reset();  // the first run compares with nothing
    EXPECT_TRUE(AlertsFor(bad).empty());

    RunFigures nothing;  // the portal could not be reached: no file, no page
    EXPECT_EQ(AlertsFor(nothing), std::vector<Alert>{Alert::WroteNothing});
    RunFigures emptyFile = good;
    emptyFile.coursesInFile = 0;
    EXPECT_EQ(AlertsFor(emptyFile).front(), Alert::WroteNothing);

    RunFigures everything;
    everything.coursePagesTried = 10;
    everything.coursePagesUnread = 5;
    everything.pagesWithoutName = 5;
    everything.changes = ChangeFigures{3, 1, 1};
    EXPECT_EQ(AlertsFor(everything),
              (std::vector<Alert>{Alert::WroteNothing, Alert::CoursePagesUnread, Alert::ManyChanged,
                                  Alert::NamesMissing}));
    for (const Alert alert : AlertsFor(everything)) {
        EXPECT_EQ(AlertOfKey(AlertKey(alert)), alert);
        EXPECT_NE(AlertText(alert).find(" / "), std::string::npos);
    }
}

TEST(ScheduleState, TheLastResultSurvivesItsFileAndTheMarkerNamesTheReport) {
    ScheduleResult result;
    result.finishedAt = "2026-12-09T03:00:00+09:00";
    result.exitCode = 10;
    result.summary = "0 courses\nin the file";
    result.alerts = {Alert::WroteNothing, Alert::NamesMissing};
    result.report = "/data/kanto.changes.xlsx";
    TempDir dir;
    const fs::path path = dir.path() / "a.state";
    std::string error;
    ASSERT_TRUE(WriteWholeFile(path, ResultFileText(result), error)) << error;
    const std::optional<ScheduleResult> read = ReadResultFile(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->finishedAt, result.finishedAt);
    EXPECT_EQ(read->exitCode, 10);
    EXPECT_EQ(read->summary, "0 courses in the file");
    EXPECT_EQ(read->alerts, result.alerts);
    EXPECT_EQ(read->report, result.report);
    EXPECT_FALSE(ReadResultFile(dir.path() / "missing.state"));
    EXPECT_EQ(ParseResultFile("exit=x\nnoise\nfuture=1\n").exitCode, 0);

    const std::string marker = AttentionMarkerText("a", result, "/data/kanto.xlsx");
    EXPECT_EQ(marker.substr(0, marker.find('\n')), "/data/kanto.changes.xlsx");
    result.report.clear();
    const std::string withoutReport = AttentionMarkerText("a", result, "/data/kanto.xlsx");
    EXPECT_EQ(withoutReport.substr(0, withoutReport.find("\na\n")), "/data/kanto.xlsx");
    EXPECT_EQ(AttentionMarkerPath("/d"), fs::path("/d/attention.txt"));

    EXPECT_FALSE(ReadAttentionMarker(dir.path()));
    ASSERT_TRUE(WriteWholeFile(AttentionMarkerPath(dir.path()), marker, error));
    const std::optional<AttentionNote> note = ReadAttentionMarker(dir.path());
    ASSERT_TRUE(note);
    EXPECT_EQ(note->file, fs::path("/data/kanto.changes.xlsx"));
    EXPECT_EQ(note->scheduleName, "a");
    EXPECT_EQ(note->lines, (std::vector<std::string>{AlertText(Alert::WroteNothing),
                                                     AlertText(Alert::NamesMissing)}));
    ASSERT_TRUE(WriteWholeFile(AttentionMarkerPath(dir.path()), "\n", error));
    EXPECT_FALSE(ReadAttentionMarker(dir.path()));
}

}  // namespace
}  // namespace teebasket::schedule
