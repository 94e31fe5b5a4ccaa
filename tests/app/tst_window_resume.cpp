// Continuing a run from the window, against the demo portal: the question
// 再開確認 at Start, before the question about the earlier file, its three
// answers, the file a continued run leaves
// (the same as teebasket-cli's for the same prefectures), the courses it asks
// the portal for, and the repair of a file with pages not read.
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "PortalRunSupport.h"
#include "ProfileFile.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kHokkaido = 0;
constexpr int kTokyo = 12;
constexpr int kOkinawa = 46;
constexpr int kCoursesPerPrefecture = 3;

const QString kResumeCaption = QStringLiteral("再開確認");
const QString kOverwriteCaption = QStringLiteral("上書き確認");

std::string Card(const std::string& id) {
    return "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id + "/?rt=1\">x</a>\n";
}

constexpr const char* kSmallDetailPage =
    "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
    "\"name\":\"青葉\",\"image\":\"i\",\"telephone\":\"03-1\",\"x\":1}</script>\n";

// The file that teebasket-cli writes for `prefectures` (romaji names) from
// `portal`, made in `folder`.
QByteArray CliFile(const test::PortalProcess& portal, const std::filesystem::path& folder,
                   const QStringList& prefectures) {
    std::filesystem::create_directories(folder);
    const QString ini = QString::fromStdString((folder / "golf.ini").string());
    const QString output = QString::fromStdString((folder / "cli.csv").string());
    WriteBytes(folder / "golf.ini", "");
    const QString host = QString::fromStdString(portal.host());
    QProcess cli;
    cli.setWorkingDirectory(QString::fromStdString(folder.string()));
    cli.start(QStringLiteral(TEEBASKET_CLI_EXECUTABLE),
              QStringList{"--config", ini, "--listing-host", host, "--booking-host", host,
                          "--ca-cert", QString::fromStdString(portal.certificate().string()),
                          "--pause-ms", "0,0", "--quiet", "-o", output} +
                  prefectures);
    if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit ||
        cli.exitCode() != 0) {
        qWarning("teebasket-cli: %s", cli.readAllStandardError().constData());
        return QByteArray();
    }
    return ReadBytes(folder / "cli.csv");
}

QString LastRunOutput(const std::filesystem::path& ini) {
    return QString::fromStdString(ReadProfileString(ini, "LastRun", "Output", ""));
}

}  // namespace

class TestWindowResume : public WindowTestCase {
    Q_OBJECT

  private slots:
    void continueAfterCancelGivesTheFileOfAWholeRunAndAsksNoCourseTwice();
    void resumeIsAskedBeforeTheEarlierFileAndOnlyStartingOverAsksAboutIt();
    void anotherSelectionOrFileIsNotOfferedToContinue();
    void fileWithPagesNotReadIsRepairedOnTheNextStart();
    void sessionEndingWhileTheQuestionIsOpenStartsNoRun();
    void aFileWithCoursesOutsideTheSelectionIsNotContinued();

  private:
    bool WaitForRunEnd(int count) {
        return WaitFor([this, count] { return finished_->count() >= count; });
    }
    quint32 EndCode(int run) const { return finished_->at(run).at(0).toUInt(); }
    // A run of 北海道 and 東京都 into list.csv beside an earlier file, stopped
    // when 東京都 begins: its rows stay in the partial file.
    void StopARunBesideAnEarlierFile(const test::PortalProcess& portal);
    QStringList Captions() {
        QStringList captions;
        for (const DialogCall& message : fixture().Dialogs().Messages()) {
            captions << message.caption;
        }
        return captions;
    }

    std::unique_ptr<QSignalSpy> finished_;
};

void TestWindowResume::StopARunBesideAnEarlierFile(const test::PortalProcess& portal) {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    finished_ = std::make_unique<QSignalSpy>(&window, &TFrmMain::runFinished);
    WriteBytes(f.DataFolder() / "list.csv", "earlier rows\r\n");
    const auto stop = f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認: list.csv is there
    f.Dialogs().AnswerMessage(kIdYes);  // 中断確認
    f.Dialogs().AnswerMessage(kIdOk);   // the rows are in the partial file
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(1));
    disconnect(stop);
    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(CsvLineCount(f.DataFolder() / "list.csv.partial"), 1 + kCoursesPerPrefecture);
    f.Dialogs().Clear();
}

void TestWindowResume::continueAfterCancelGivesTheFileOfAWholeRunAndAsksNoCourseTwice() {
    const test::PortalProcess portal(
        {.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}});
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    finished_ = std::make_unique<QSignalSpy>(&window, &TFrmMain::runFinished);
    const std::filesystem::path output = f.DataFolder() / "list.csv";
    WriteBytes(output, "earlier rows\r\n");
    // Cancel just before the second course of 東京都 is asked for.
    const auto stop = connect(&window, &TFrmMain::statusUpdated, this, [&f, &window] {
        if (f.prgBar()->value() == 2 && window.report().courseIndex == 2 &&
            window.phase() == TFrmMain::RunPhase::Running) {
            f.btnCancel()->click();
        }
    });
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdYes);  // 中断確認
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(1));
    disconnect(stop);
    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(ReadBytes(output), QByteArray("earlier rows\r\n"));
    QCOMPARE(CsvLineCount(f.DataFolder() / "list.csv.partial"), 1 + kCoursesPerPrefecture + 1);

    // The same file and prefectures: Start asks, and はい continues.
    f.Dialogs().Clear();
    QStringList counts;
    connect(&window, &TFrmMain::statusUpdated, this,
            [&f, &counts] { counts << f.lblStatus()->text(); });
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(2));

    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].caption, kResumeCaption);
    // Both listings were read: 6 courses, 4 of them in the partial file.
    const QRegularExpression resumeText(
        QStringLiteral("^前回（\\d+月\\d+日 \\d+:\\d\\d）の取得は 6 件中 4 "
                       "件で止まっています。続きから取得しますか？$"));
    QVERIFY2(resumeText.match(messages[0].text).hasMatch(), qPrintable(messages[0].text));
    QCOMPARE(messages[0].flags, kResumeQuestionFlags);
    QCOMPARE(messages[0].buttonTexts,
             (QStringList{QStringLiteral("続きから"), QStringLiteral("最初から"),
                          QStringLiteral("キャンセル")}));
    QCOMPARE(messages[1].caption, QStringLiteral("処理確認"));
    QCOMPARE(EndCode(1), quint32{TFrmMain::kEndCompleted});
    const HarvestReport& resumed = window.report();
    QVERIFY(resumed.resume.fromPartial);
    QCOMPARE(resumed.coursesKept, kCoursesPerPrefecture + 1);
    QCOMPARE(resumed.rowsWritten, kCoursesPerPrefecture - 1);
    // The kept courses count as done.
    QCOMPARE(counts, (QStringList{"ゴルフ場情報 : 1/3 件", "ゴルフ場情報 : 2/3 件",
                                  "ゴルフ場情報 : 3/3 件", "ゴルフ場情報 : 1/3 件",
                                  "ゴルフ場情報 : 2/3 件", "ゴルフ場情報 : 3/3 件"}));
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "list.csv.partial"));

    // No course page was asked for twice over both runs.
    const std::vector<std::string> asked = DetailRequests(portal);
    QCOMPARE(asked.size(), std::size_t{2 * kCoursesPerPrefecture});
    QVERIFY(!AnyTwice(asked));
    // The file is the one an uninterrupted run of teebasket-cli writes.
    const QByteArray whole =
        CliFile(portal, f.DataFolder() / "cli", {QStringLiteral("hokkaido"), "tokyo"});
    QVERIFY(!whole.isEmpty());
    QVERIFY(ReadBytes(output) == whole);
    // Nothing is left to continue.
    QCOMPARE(LastRunOutput(f.IniPath()), QString());
}

// The save dialog asks nothing and offers the last file; 再開確認 comes
// first, and only 最初から asks about the earlier file, whose いいえ goes
// back with both files untouched.
void TestWindowResume::resumeIsAskedBeforeTheEarlierFileAndOnlyStartingOverAsksAboutIt() {
    const test::PortalProcess portal(
        {.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}});
    StopARunBesideAnEarlierFile(portal);
    WindowFixture& f = fixture();
    TFrmMain& window = f.Window();
    const QByteArray partial = ReadBytes(f.DataFolder() / "list.csv.partial");
    const auto untouched = [&] {
        return window.phase() == TFrmMain::RunPhase::Idle && window.thread() == nullptr &&
               f.btnAction()->isEnabled() && f.prgBar()->isHidden() &&
               ReadBytes(f.DataFolder() / "list.csv.partial") == partial &&
               ReadBytes(f.DataFolder() / "list.csv") == QByteArray("earlier rows\r\n");
    };

    // キャンセル: back to the idle window, nothing touched.
    f.Dialogs().AnswerMessage(kIdCancel);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QCOMPARE(Captions(), QStringList{kResumeCaption});
    const DialogCall& save = f.Dialogs().Calls().front();
    QCOMPARE(save.kind, DialogCall::SaveDialog);
    QVERIFY(!save.request.confirmOverwrite);
    QCOMPARE(save.request.fileName, f.FilePath(QStringLiteral("list.csv")));
    QVERIFY(untouched());

    // 最初から, then いいえ to the earlier file: back again.
    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdNo);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QCOMPARE(Captions(), (QStringList{kResumeCaption, kOverwriteCaption}));
    QVERIFY(untouched());

    // 最初から and はい: a new run, which replaces the old partial file.
    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdNo);
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(Captions(), (QStringList{kResumeCaption, kOverwriteCaption, "処理確認"}));
    QCOMPARE(EndCode(1), quint32{TFrmMain::kEndCompleted});
    QVERIFY(!window.report().resume.resumed);
    QVERIFY(window.report().partialReplaced);
    QCOMPARE(CsvLineCount(f.DataFolder() / "list.csv"), 1 + 2 * kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "list.csv.partial"));
}

void TestWindowResume::anotherSelectionOrFileIsNotOfferedToContinue() {
    const test::PortalProcess portal(
        {.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}});
    StopARunBesideAnEarlierFile(portal);
    WindowFixture& f = fixture();

    // Another file: no question; the stopped run stays to be continued.
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("other.csv"));
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(Captions(), QStringList{"処理確認"});
    QVERIFY(std::filesystem::exists(f.DataFolder() / "list.csv.partial"));

    // Another selection on the same file: not offered to continue; the
    // earlier file is asked about.
    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo, kOkinawa}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(3));
    QCOMPARE(Captions(), (QStringList{kOverwriteCaption, "処理確認"}));
    QVERIFY(!f.Window().report().resume.resumed);
    QCOMPARE(CsvLineCount(f.DataFolder() / "list.csv"), 1 + 3 * kCoursesPerPrefecture);
}

// A file with rows of defaults (pages that could not be read) is repaired by
// the next Start on it: only the courses that failed are asked for again.
void TestWindowResume::fileWithPagesNotReadIsRepairedOnTheNextStart() {
    test::TempDir pages;
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html", Card("1001") + Card("2002"));
    test::WriteFileBytes(pages.path() / "detail" / "1001.html", kSmallDetailPage);
    const test::PortalProcess portal({.pagesDir = pages.path()});  // 2002 answers 404
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    finished_ = std::make_unique<QSignalSpy>(&window, &TFrmMain::runFinished);
    const std::filesystem::path output = f.DataFolder() / "repair.csv";
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kTokyo}, QStringLiteral("repair.csv"));
    QVERIFY(WaitForRunEnd(1));
    QCOMPARE(window.report().pageFailures.size(), std::size_t{1});
    const QList<QByteArray> before = ReadBytes(output).split('\n');
    QCOMPARE(before.size(), 1 + 2 + 1);
    QVERIFY(before[2].contains("c_id/2002") && !before[2].contains("\"03-1\""));

    // The portal has the page now.
    test::WriteFileBytes(pages.path() / "detail" / "2002.html", kSmallDetailPage);
    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kTokyo}, QStringLiteral("repair.csv"));
    QVERIFY(WaitForRunEnd(2));

    QCOMPARE(Captions(), (QStringList{kResumeCaption, "処理確認"}));
    const HarvestReport& repaired = window.report();
    QVERIFY(repaired.resume.resumed);
    QVERIFY(!repaired.resume.fromPartial);
    QCOMPARE(repaired.coursesKept, 1);
    QCOMPARE(repaired.rowsWritten, 1);
    QVERIFY(repaired.pageFailures.empty());
    QCOMPARE(DetailRequests(portal), (std::vector<std::string>{"1001", "2002", "2002"}));
    // Both courses now have the page's facts, in listing order.
    const QList<QByteArray> lines = ReadBytes(output).split('\n');
    QCOMPARE(lines.size(), 1 + 2 + 1);
    QVERIFY(lines[1].contains("c_id/1001") && lines[1].contains("\"03-1\""));
    QVERIFY(lines[2].contains("c_id/2002") && lines[2].contains("\"03-1\""));
    QCOMPARE(LastRunOutput(f.IniPath()), QString());
}

void TestWindowResume::sessionEndingWhileTheQuestionIsOpenStartsNoRun() {
    const test::PortalProcess portal(
        {.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}});
    StopARunBesideAnEarlierFile(portal);
    WindowFixture& f = fixture();
    TFrmMain& window = f.Window();
    const std::size_t asked = portal.requests().size();
    // Even an answer of はい after the session has ended starts nothing.
    f.Dialogs().AnswerMessage([&window](const DialogCall&) {
        window.EndSession();
        return kIdYes;
    });
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));

    QCOMPARE(Captions(), QStringList{kResumeCaption});
    QVERIFY(window.thread() == nullptr);
    QCOMPARE(window.phase(), TFrmMain::RunPhase::Closed);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(portal.requests().size(), asked);
    QCOMPARE(ReadArea(f.IniPath()),
             QByteArray("1") + QByteArray(11, '0') + "1" + QByteArray(34, '0'));
    QVERIFY(std::filesystem::exists(f.DataFolder() / "list.csv.partial"));
}

// The stopped run's partial file, replaced by one of 沖縄県's courses: はい
// to 再開確認 asks for no page, says how many courses of which prefecture
// would be lost, and leaves both files as they were.
void TestWindowResume::aFileWithCoursesOutsideTheSelectionIsNotContinued() {
    const test::PortalProcess portal(
        {.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)}});
    StopARunBesideAnEarlierFile(portal);
    WindowFixture& f = fixture();
    const QByteArray okinawa = CliFile(portal, f.DataFolder() / "cli", {"okinawa"});
    QVERIFY(!okinawa.isEmpty());
    const std::filesystem::path partial = f.DataFolder() / "list.csv.partial";
    WriteBytes(partial, okinawa);
    const std::size_t asked = portal.requests().size();
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd(2));

    QCOMPARE(EndCode(1), quint32{TFrmMain::kEndFailed});
    const CoursesOutside& outside = f.Window().report().resume.outside;
    QCOMPARE(outside.byPrefecture.size(), std::size_t{1});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[1].caption, QStringLiteral("Error"));
    QVERIFY2(messages[1].text.contains(
                 QStringLiteral("選んだ都道府県以外のゴルフ場が %1 件あります（沖縄県 %2 件")
                     .arg(outside.courses)
                     .arg(outside.byPrefecture[0].courses)),
             qPrintable(messages[1].text));
    QCOMPARE(portal.requests().size(), asked);
    QCOMPARE(ReadBytes(partial), okinawa);
    QCOMPARE(ReadBytes(f.DataFolder() / "list.csv"), QByteArray("earlier rows\r\n"));
}

QTEST_MAIN(TestWindowResume)
#include "tst_window_resume.moc"
