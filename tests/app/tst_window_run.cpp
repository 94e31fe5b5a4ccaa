// Whole runs of the real window against teebasket-portal: the progress at
// each call of the harvest thread, the end codes and their messages, Cancel
// and close during a run, and the run ending while a question is open.
#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "RunHistory.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kCoursesPerPrefecture = 3;
constexpr int kTottori = 30;  // no courses on the demo portal
constexpr int kKochi = 38;    // no courses on the demo portal

// What the window showed when one of its progress signals came.
struct Snapshot {
    QString call;
    int maximum = 0;
    int value = 0;
    bool barVisible = false;
    QString status;
    QString status2;

    bool operator==(const Snapshot&) const = default;
};

QString Describe(const std::vector<Snapshot>& snapshots) {
    QString text;
    for (const Snapshot& s : snapshots) {
        text += QStringLiteral("%1 %2/%3 %4 [%5] [%6]\n")
                    .arg(s.call)
                    .arg(s.value)
                    .arg(s.maximum)
                    .arg(s.barVisible ? "shown" : "hidden", s.status2, s.status);
    }
    return text;
}

Snapshot Status(int value, int maximum, const QString& prefecture, int index, int total) {
    return Snapshot{"status",
                    maximum,
                    value,
                    true,
                    QStringLiteral("ゴルフ場情報 : %1/%2 件").arg(index).arg(total),
                    prefecture + QStringLiteral("取得中...")};
}

int CsvLineCount(const std::filesystem::path& file) {
    return static_cast<int>(ReadBytes(file).count("\r\n"));
}

bool WaitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 120000);
}

// Runs the real harvest but holds its final call, which comes after the run
// has stopped running, until the test lets it go on: whatever the test does
// meanwhile lands in the gap between the end of the run and that call.
class HeldFinalCall {
  public:
    HeldFinalCall() = default;
    // A test that fails early still lets the run end.
    ~HeldFinalCall() { Release(); }
    HeldFinalCall(const HeldFinalCall&) = delete;
    HeldFinalCall& operator=(const HeldFinalCall&) = delete;

    THarvestBody Body() const {
        return [gates = gates_](HarvestRun& run, HarvestObserver& window) {
            Gate gate(gates, window);
            run.Execute(gate);
        };
    }
    bool WaitUntilHeld() {
        return WaitFor([this] { return gates_->held.tryAcquire(); });
    }
    void Release() { gates_->release.release(); }

  private:
    struct Gates {
        QSemaphore held;
        QSemaphore release;
    };

    class Gate : public HarvestObserver {
      public:
        Gate(std::shared_ptr<Gates> gates, HarvestObserver& window)
            : gates_(std::move(gates)), window_(window) {}
        void ProgressStart(const HarvestReport& run) override { window_.ProgressStart(run); }
        void ProgressStep(const HarvestReport& run) override { window_.ProgressStep(run); }
        void StatusUpdate(const HarvestReport& run) override { window_.StatusUpdate(run); }
        void RunEnded(const HarvestReport& run) override {
            gates_->held.release();
            (void)gates_->release.tryAcquire(1, 120000);
            window_.RunEnded(run);
        }

      private:
        std::shared_ptr<Gates> gates_;
        HarvestObserver& window_;
    };

    std::shared_ptr<Gates> gates_ = std::make_shared<Gates>();
};

}  // namespace

class TestWindowRun : public WindowTestCase {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void wholeRunShowsItsProgressAtEachCall();
    void completedRunOffersToOpenTheFile();
    void fileGoneBeforeOpeningIsReported();
    void runWithoutRowsSaysNothingFound();
    void unreachablePortalSaysTheSiteCouldNotBeReached();
    void pagesNotReadAreCountedInTheEndOfRunMessage();
    void timesAndRetriesShowOnALineOfTheirOwn();

    void cancelAnsweredYesStopsTheRunAndSaysWhereTheRowsAre();
    void cancelKeepsAnEarlierFileAndNamesThePartialFile();
    void runWithoutRowsKeepsAnEarlierFile();
    void portalThatStopsAnsweringKeepsAnEarlierFileAndSaysWhy();
    void cancelAnsweredNoLetsTheRunGoOn();
    void cancelPressedAgainWhileStoppingAsksNothing();
    void closeAnsweredYesEndsTheProgramOnceTheThreadStopped();
    void closeAnsweredNoLetsTheRunGoOn();
    void closeAskedTwiceKeepsTheClosePending();

    void runEndingWhileTheCancelQuestionIsOpen();
    void runEndingWhileTheCloseQuestionIsOpen();
    void windowDestroyedDuringARunWaitsForItsThread();
    void endSessionWhileTheCancelQuestionIsOpenStopsTheRunAndCloses();
    void endSessionDuringTheCompletionQuestionCloses();
    void endSessionBeforeTheSettingsAreLoadedLeavesGolfIniAlone();
    void phaseFollowsTheRunThroughCancelAndItsEnd();
    void closeConfirmedWhileTheOutcomeIsShownClosesAfterIt();
    void endOfRunIsShownOnceWhateverLandsBeforeTheFinalCall_data();
    void endOfRunIsShownOnceWhateverLandsBeforeTheFinalCall();

  private:
    HarvestSettings PortalSettings() const;
    // Ticks `rows`, answers the save dialog with `fileName` and presses Start.
    void Start(const std::vector<int>& rows, const QString& fileName);
    void RecordProgress();
    bool WaitForRunEnd(int count = 1);

    std::unique_ptr<test::PortalProcess> portal_;
    std::vector<Snapshot> snapshots_;
    std::unique_ptr<QSignalSpy> finished_;
};

void TestWindowRun::initTestCase() {
    test::PortalProcess::Options options;
    options.extraArgs = {"--courses-per-prefecture", std::to_string(kCoursesPerPrefecture)};
    portal_ = std::make_unique<test::PortalProcess>(options);
}

void TestWindowRun::cleanupTestCase() {
    portal_.reset();
}

HarvestSettings TestWindowRun::PortalSettings() const {
    HarvestSettings settings;
    settings.portal.listingHost = portal_->host();
    settings.portal.bookingHost = portal_->host();
    settings.portal.caCertificate = portal_->certificate();
    settings.retries.waits = {std::chrono::milliseconds(10)};
    return settings;
}

void TestWindowRun::Start(const std::vector<int>& rows, const QString& fileName) {
    WindowFixture& f = fixture();
    if (!f.Window().isVisible()) {
        f.Window().show();
    }
    snapshots_.clear();
    RecordProgress();
    finished_ = std::make_unique<QSignalSpy>(&f.Window(), &TFrmMain::runFinished);
    for (int row : rows) {
        f.ToggleByUser(row);
    }
    f.Dialogs().AnswerSave(f.FilePath(fileName));
    f.btnAction()->click();
}

void TestWindowRun::RecordProgress() {
    WindowFixture& f = fixture();
    auto record = [this, &f](const QString& call) {
        snapshots_.push_back(Snapshot{call, f.prgBar()->maximum(), f.prgBar()->value(),
                                      f.prgBar()->isVisible(), f.lblStatus()->text(),
                                      f.lblStatus2()->text()});
    };
    connect(&f.Window(), &TFrmMain::progressStarted, this, [record] { record("start"); });
    connect(&f.Window(), &TFrmMain::progressStepped, this, [record] { record("step"); });
    connect(&f.Window(), &TFrmMain::statusUpdated, this, [record] { record("status"); });
}

bool TestWindowRun::WaitForRunEnd(int count) {
    return WaitFor([this, count] { return finished_->count() >= count; });
}

void TestWindowRun::wholeRunShowsItsProgressAtEachCall() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    f.Dialogs().AnswerMessage(kIdNo);
    // Ticked out of order; the run takes them in list order.
    Start({kTottori, 12, 0}, QStringLiteral("whole.csv"));
    QVERIFY(WaitForRunEnd());

    const QString hokkaido = QStringLiteral("北海道");
    const QString tokyo = QStringLiteral("東京都");
    const QString tottori = QStringLiteral("鳥取県");
    const std::vector<Snapshot> expected{
        Snapshot{"start", 3, 0, true, QStringLiteral("ページ情報を取得中..."), QString()},
        Snapshot{"step", 3, 1, true, QStringLiteral("ページ情報を取得中..."), QString()},
        Status(1, 3, hokkaido, 1, 3),
        Status(1, 3, hokkaido, 2, 3),
        Status(1, 3, hokkaido, 3, 3),
        Snapshot{"step", 3, 2, true, QStringLiteral("ゴルフ場情報 : 3/3 件"),
                 hokkaido + QStringLiteral("取得中...")},
        Status(2, 3, tokyo, 1, 3),
        Status(2, 3, tokyo, 2, 3),
        Status(2, 3, tokyo, 3, 3),
        Snapshot{"step", 3, 3, true, QStringLiteral("ゴルフ場情報 : 3/3 件"),
                 tokyo + QStringLiteral("取得中...")},
        Status(3, 3, tottori, 0, 0),
    };
    QVERIFY2(snapshots_ == expected, qPrintable(Describe(snapshots_)));

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(CsvLineCount(f.DataFolder() / "whole.csv"), 1 + 2 * kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));
    // The run is kept in the history of the data folder.
    const std::vector<history::RunEntry> runs =
        history::ListRuns(history::HistoryFolderIn(f.DataFolder()));
    QCOMPARE(runs.size(), std::size_t{1});
    QVERIFY(runs[0].prefectures == (std::vector<int>{1, 13, kTottori + 1}));
    QCOMPARE(runs[0].courses, std::size_t{2} * kCoursesPerPrefecture);
    QVERIFY(runs[0].output == f.DataFolder() / "whole.csv");
    QVERIFY(f.prgBar()->isHidden());
    // Idle again: the lower line names the portal, the one above says what
    // the run did.
    QCOMPARE(f.lblStatus()->text(),
             QStringLiteral("接続先: ") + QString::fromStdString(portal_->host()));
    const QRegularExpression done(
        QStringLiteral("^完了：%1 件（\\d+:\\d\\d）$").arg(2 * kCoursesPerPrefecture));
    QVERIFY2(done.match(f.lblStatus2()->text()).hasMatch(), qPrintable(f.lblStatus2()->text()));
}

void TestWindowRun::completedRunOffersToOpenTheFile() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    f.Dialogs().AnswerMessage(kIdYes);
    Start({5}, QStringLiteral("open-me"));
    QVERIFY(WaitForRunEnd());

    const std::vector<DialogCall>& calls = f.Dialogs().Calls();
    QCOMPARE(calls.size(), std::size_t{5});
    QCOMPARE(calls[0].kind, DialogCall::SaveDialog);
    QCOMPARE(calls[1].kind, DialogCall::Beep);
    QCOMPARE(calls[2].kind, DialogCall::Flash);
    QCOMPARE(calls[3].kind, DialogCall::Message);
    QCOMPARE(calls[3].text, QStringLiteral("情報の取得が完了しました。\n%1 件を open-me.csv "
                                           "に保存しました。\n保存したファイルを開きますか？")
                                .arg(kCoursesPerPrefecture));
    QCOMPARE(calls[3].caption, QStringLiteral("処理確認"));
    QCOMPARE(calls[3].flags, kQuestionNoDefaultFlags | kMbResultsButton);
    QCOMPARE(calls[4].kind, DialogCall::Open);
    QCOMPARE(calls[4].path, f.FilePath("open-me.csv"));
    QCOMPARE(f.Window().endCode(), std::uint32_t{TFrmMain::kEndCompleted});
}

void TestWindowRun::fileGoneBeforeOpeningIsReported() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    f.Dialogs().AnswerMessage([&f](const DialogCall&) {
        std::filesystem::remove(f.DataFolder() / "gone.csv");
        return kIdYes;
    });
    f.Dialogs().AnswerMessage(kIdOk);
    Start({5}, QStringLiteral("gone.csv"));
    QVERIFY(WaitForRunEnd());

    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[1].text, QStringLiteral("該当するファイルが見つかりませんでした。"));
    QCOMPARE(messages[1].caption, QStringLiteral("Error"));
    QCOMPARE(messages[1].flags, kPlainNoticeFlags);
    QCOMPARE(f.Dialogs().Count(DialogCall::Open), 0);
}

void TestWindowRun::runWithoutRowsSaysNothingFound() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    f.Dialogs().AnswerMessage(kIdOk);
    Start({kTottori, kKochi}, QStringLiteral("empty.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndNothingFound});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].text, QStringLiteral("該当する情報は見つかりませんでした。"));
    QCOMPARE(messages[0].caption, QStringLiteral("検索終了"));
    QCOMPARE(messages[0].flags, kErrorNoticeFlags);
    QCOMPARE(f.Dialogs().Count(DialogCall::Beep), 0);
    QCOMPARE(CsvLineCount(f.DataFolder() / "empty.csv"), 1);
}

void TestWindowRun::unreachablePortalSaysTheSiteCouldNotBeReached() {
    WindowFixture& f = fixture();
    HarvestSettings settings = PortalSettings();
    const test::ClosedLoopbackPort closed;
    settings.portal.listingHost = closed.host();
    settings.portal.bookingHost = settings.portal.listingHost;
    f.CreateShown(settings);
    f.Dialogs().AnswerMessage(kIdOk);
    Start({0, 1}, QStringLiteral("unreachable.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndUnreachable});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    // A refused connection to a host the user set: the settings to check
    // instead of waiting, then the host and the precise reason.
    QVERIFY2(
        messages[0].text ==
            QStringLiteral("サイトへのアクセスができませんでした。\r\n右クリックの「接続先の"
                           "設定」で、ホスト名とポート番号を確かめてください。\n一覧のホスト（%1"
                           "）: 接続が拒否されました（3 回試しました）")
                .arg(QString::fromStdString(closed.host())),
        qPrintable(messages[0].text));
    QCOMPARE(messages[0].caption, QStringLiteral("Error"));
    QCOMPARE(messages[0].flags, kErrorNoticeFlags);
    QVERIFY(f.btnAction()->isEnabled());
}

void TestWindowRun::pagesNotReadAreCountedInTheEndOfRunMessage() {
    // Tokyo: one course read, two pages not read; Hokkaido: no listing at all.
    test::TempDir pages;
    test::WriteFileBytes(
        pages.path() / "listing" / "tokyo.html",
        "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/x-empty/?rt=1\">\n"
        "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/x-status-404/?rt=1\">\n"
        "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/x-status-410/?rt=1\">\n");
    const test::PortalProcess fixturePortal({.pagesDir = pages.path()});
    WindowFixture& f = fixture();
    HarvestSettings settings = PortalSettings();
    settings.portal = {fixturePortal.host(), fixturePortal.host(), fixturePortal.certificate()};
    f.CreateShown(settings);
    f.Dialogs().AnswerMessage(kIdNo);
    Start({12}, QStringLiteral("partly.csv"));
    QVERIFY(WaitForRunEnd());
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(CsvLineCount(f.DataFolder() / "partly.csv"), 1 + 3);

    f.Dialogs().AnswerMessage(kIdOk);
    f.ToggleByUser(12);
    f.ToggleByUser(0);
    f.Dialogs().AnswerSave(f.FilePath("none.csv"));
    f.btnAction()->click();
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(finished_->at(1).at(0).toUInt(), quint32{TFrmMain::kEndNothingFound});

    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].text, QStringLiteral("情報の取得が完了しました。\n"
                                              "3 件を partly.csv に保存しました。\n"
                                              "取得できなかったページが 2 件あります。\n"
                                              "保存したファイルを開きますか？"));
    QCOMPARE(messages[0].caption, QStringLiteral("処理確認"));
    QCOMPARE(messages[1].text, QStringLiteral("該当する情報は見つかりませんでした。\n"
                                              "取得できなかったページが 1 件あります。"));
    QCOMPARE(messages[1].caption, QStringLiteral("検索終了"));
}

// Above the two status lines: the time so far (and left), and a page asked
// for again with its retry and wait; gone once the run is over.
void TestWindowRun::timesAndRetriesShowOnALineOfTheirOwn() {
    test::TempDir pages;
    const auto card = [](const std::string& id) {
        return "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id + "/?rt=1\">x</a>\n";
    };
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                         card("1001") + card("x-flaky-1-503-1001"));
    test::WriteFileBytes(pages.path() / "detail" / "1001.html", "<html></html>");
    const test::PortalProcess flaky({.pagesDir = pages.path()});
    HarvestSettings settings = PortalSettings();
    settings.portal.listingHost = flaky.host();
    settings.portal.bookingHost = flaky.host();
    settings.portal.caCertificate = flaky.certificate();
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(settings);
    const auto* times = window.findChild<QLabel*>(QStringLiteral("lblTimes"));
    QStringList shown;
    connect(&window, &TFrmMain::statusUpdated, this, [&] { shown << times->text(); });
    connect(&window, &TFrmMain::retryWaiting, this,
            [&] { shown << times->text() + QStringLiteral(" | ") + f.lblStatus()->text(); });
    f.Dialogs().AnswerMessage(kIdNo);
    Start({12}, QStringLiteral("retried.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(shown.size(), 3);
    QVERIFY2(shown[0].startsWith(QStringLiteral("経過 0:")), qPrintable(shown[0]));
    QVERIFY2(shown[1].startsWith(QStringLiteral("経過 0:")) &&
                 shown[1].contains(QStringLiteral("残り 約")),
             qPrintable(shown[1]));
    QCOMPARE(shown[2], QStringLiteral("再試行中（1 回目、1 秒後） | ゴルフ場情報 : 2/2 件"));
    QCOMPARE(times->text(), QString());
    QCOMPARE(CsvLineCount(f.DataFolder() / "retried.csv"), 1 + 2);
}

void TestWindowRun::cancelAnsweredYesStopsTheRunAndSaysWhereTheRowsAre() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    // Cancel when the second of three prefectures begins.
    f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);  // where the rows are
    Start({0, 12, 46}, QStringLiteral("cancelled.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCancelled});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].text, QStringLiteral("取得処理を中断します。\nよろしいですか？"));
    QCOMPARE(messages[0].caption, QStringLiteral("中断確認"));
    QCOMPARE(messages[0].flags, kQuestionFlags);
    // A notice, not a question: the rows are in the file itself.
    QCOMPARE(messages[1].caption, QStringLiteral("取得中断"));
    QCOMPARE(messages[1].flags, kErrorNoticeFlags);
    QVERIFY2(messages[1].text.contains(
                 QStringLiteral("取得済みの %1 件は %2 に保存しました。")
                     .arg(kCoursesPerPrefecture)
                     .arg(QString::fromStdString((f.DataFolder() / "cancelled.csv").string()))),
             qPrintable(messages[1].text));
    QCOMPARE(f.Dialogs().Count(DialogCall::Beep), 0);
    // The third prefecture was never begun; the first one's rows stay.
    for (const Snapshot& snapshot : snapshots_) {
        QVERIFY(snapshot.value <= 2);
    }
    QCOMPARE(CsvLineCount(f.DataFolder() / "cancelled.csv"), 1 + kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));
    QVERIFY(f.btnAction()->isEnabled());
    QVERIFY(!f.btnCancel()->isEnabled());
    QVERIFY(f.prgBar()->isHidden());
    QCOMPARE(f.lblStatus()->text(),
             QStringLiteral("接続先: ") + QString::fromStdString(portal_->host()));
    QVERIFY2(f.lblStatus2()->text().startsWith(
                 QStringLiteral("中断：%1 件（").arg(kCoursesPerPrefecture)),
             qPrintable(f.lblStatus2()->text()));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

// The earlier file at the path stays as it was when a run is stopped; the
// rows so far stay in the partial file, which the end message names.
void TestWindowRun::cancelKeepsAnEarlierFileAndNamesThePartialFile() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    const std::filesystem::path earlier = f.DataFolder() / "keep.csv";
    WriteBytes(earlier, "earlier rows\r\n");
    f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);
    Start({0, 12}, QStringLiteral("keep.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(ReadBytes(earlier), QByteArray("earlier rows\r\n"));
    const std::filesystem::path partial = f.DataFolder() / "keep.csv.partial";
    QCOMPARE(CsvLineCount(partial), 1 + kCoursesPerPrefecture);
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{3});
    QCOMPARE(messages[2].caption, QStringLiteral("取得中断"));
    QVERIFY2(messages[2].text.contains(QString::fromStdString(partial.string())),
             qPrintable(messages[2].text));
    QVERIFY(messages[2].text.contains(QStringLiteral("元のファイルは変更していません")));
}

void TestWindowRun::runWithoutRowsKeepsAnEarlierFile() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    const std::filesystem::path earlier = f.DataFolder() / "empty.csv";
    WriteBytes(earlier, "earlier rows\r\n");
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdOk);
    Start({kTottori}, QStringLiteral("empty.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndNothingFound});
    QCOMPARE(ReadBytes(earlier), QByteArray("earlier rows\r\n"));
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "empty.csv.partial"));
}

// Five course pages in a row that cannot be connected to end the run: the
// earlier file stays, the rows so far stay in the partial file, and the
// message says why.
void TestWindowRun::portalThatStopsAnsweringKeepsAnEarlierFileAndSaysWhy() {
    WindowFixture& f = fixture();
    test::PortalProcess larger({.extraArgs = {"--courses-per-prefecture", "8"}});
    const test::ClosedLoopbackPort closed;
    HarvestSettings settings = PortalSettings();
    settings.portal.listingHost = larger.host();
    settings.portal.caCertificate = larger.certificate();
    settings.portal.bookingHost = closed.host();
    f.CreateShown(settings);
    const std::filesystem::path earlier = f.DataFolder() / "gone.csv";
    WriteBytes(earlier, "earlier rows\r\n");
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdOk);
    Start({0, 12}, QStringLiteral("gone.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndUnreachable});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY2(messages[1].text ==
                 QStringLiteral("サイトへのアクセスができませんでした。\r\n右クリックの「接続先の"
                                "設定」で、ホスト名とポート番号を確かめてください。\n詳細ページのホ"
                                "スト（%1）: 接続が拒否されました（3 回試しました）\n同じファイルと"
                                "都道府県で取得を開始すると、続きから取得できます。")
                     .arg(QString::fromStdString(closed.host())),
             qPrintable(messages[1].text));
    QCOMPARE(ReadBytes(earlier), QByteArray("earlier rows\r\n"));
    // Five rows of defaults, and the second prefecture was never asked for.
    QCOMPARE(CsvLineCount(f.DataFolder() / "gone.csv.partial"), 1 + 5);
    QCOMPARE(larger.requests().size(), std::size_t{1});
}

void TestWindowRun::cancelAnsweredNoLetsTheRunGoOn() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    f.CancelWhenProgressReaches(1);
    f.Dialogs().AnswerMessage(kIdNo);  // the Cancel question
    f.Dialogs().AnswerMessage(kIdNo);  // the completion question
    Start({0, 1}, QStringLiteral("not-cancelled.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].caption, QStringLiteral("中断確認"));
    QCOMPARE(messages[1].caption, QStringLiteral("処理確認"));
    QCOMPARE(CsvLineCount(f.DataFolder() / "not-cancelled.csv"), 1 + 2 * kCoursesPerPrefecture);
}

void TestWindowRun::cancelPressedAgainWhileStoppingAsksNothing() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    connect(&window, &TFrmMain::progressStepped, this, [&f] {
        if (f.prgBar()->value() == 1) {
            f.btnCancel()->click();
            QVERIFY(f.btnCancel()->isEnabled());
            f.btnCancel()->click();
            // Still running: no second run can start yet.
            QVERIFY(!f.btnAction()->isEnabled());
        }
    });
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);  // where the rows are
    Start({0, 1}, QStringLiteral("twice.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(f.Dialogs().Messages().size(), std::size_t{2});
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCancelled});
}

void TestWindowRun::closeAnsweredYesEndsTheProgramOnceTheThreadStopped() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    bool closedAtOnce = true;
    // Close when the second of three prefectures begins.
    connect(&window, &TFrmMain::progressStepped, this, [&f, &closedAtOnce] {
        if (f.prgBar()->value() == 2) {
            closedAtOnce = f.Window().close();
        }
    });
    f.Dialogs().AnswerMessage(kIdYes);
    Start({0, 12, 46}, QStringLiteral("closing.csv"));
    QVERIFY(WaitForRunEnd());
    QVERIFY(!closedAtOnce);

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndClosingStopped});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].text, QStringLiteral("取得処理の実行中ですが終了しますか？"));
    QCOMPARE(messages[0].caption, QStringLiteral("終了確認"));
    QCOMPARE(messages[0].flags, kQuestionFlags);
    QTRY_VERIFY(!window.isVisible());
    // The selection was saved on the way out; the first prefecture's rows stay.
    QCOMPARE(ReadArea(f.IniPath()),
             QByteArray("1") + QByteArray(11, '0') + "1" + QByteArray(33, '0') + "1");
    QCOMPARE(CsvLineCount(f.DataFolder() / "closing.csv"), 1 + kCoursesPerPrefecture);
    QCOMPARE(f.Dialogs().Count(DialogCall::Beep), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestWindowRun::closeAnsweredNoLetsTheRunGoOn() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    connect(&window, &TFrmMain::progressStepped, this, [&f] {
        if (f.prgBar()->value() == 1) {
            QVERIFY(!f.Window().close());
        }
    });
    f.Dialogs().AnswerMessage(kIdNo);  // the close question
    f.Dialogs().AnswerMessage(kIdNo);  // the completion question
    Start({0, 1}, QStringLiteral("stay.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QVERIFY(window.isVisible());
    QVERIFY(!std::filesystem::exists(f.IniPath()));
    QCOMPARE(CsvLineCount(f.DataFolder() / "stay.csv"), 1 + 2 * kCoursesPerPrefecture);
}

void TestWindowRun::closeAskedTwiceKeepsTheClosePending() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    std::vector<std::uint32_t> codesAfterEachClose;
    connect(&window, &TFrmMain::progressStepped, this, [&f, &codesAfterEachClose] {
        if (f.prgBar()->value() == 1) {
            f.Window().close();
            codesAfterEachClose.push_back(f.Window().endCode());
            f.Window().close();
            codesAfterEachClose.push_back(f.Window().endCode());
        }
    });
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdYes);
    Start({0, 1}, QStringLiteral("twice-closed.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(codesAfterEachClose, (std::vector<std::uint32_t>{TFrmMain::kEndClosingStopped,
                                                              TFrmMain::kEndClosingStopped}));
    QCOMPARE(f.Dialogs().Messages().size(), std::size_t{2});
    QTRY_VERIFY(!window.isVisible());
}

// The run ends by itself while 中断確認 is open: the end closes the question,
// whose はい then counts for nothing, and its message is shown alone.
void TestWindowRun::runEndingWhileTheCancelQuestionIsOpen() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    bool endedWhileOpen = false;
    f.Dialogs().AnswerMessage([&window, &endedWhileOpen](const DialogCall&) {
        endedWhileOpen = WaitFor([&window] { return window.thread() == nullptr; });
        return kIdYes;
    });
    f.Dialogs().AnswerMessage(kIdNo);  // the completion question
    Start({0}, QStringLiteral("reentrant-cancel.csv"));
    f.btnCancel()->click();
    QVERIFY(WaitForRunEnd());
    QVERIFY2(endedWhileOpen, "the run did not end while the question was open");

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].caption, QStringLiteral("中断確認"));
    QVERIFY(messages[0].closed);
    QCOMPARE(messages[0].answer, kIdNo);
    QCOMPARE(messages[1].caption, QStringLiteral("処理確認"));
    QVERIFY(!messages[1].closed);
    QCOMPARE(f.Dialogs().CloseOpenDialogsCalls(), 1);
    QCOMPARE(window.endCode(), std::uint32_t{TFrmMain::kEndCompleted});
    QVERIFY(window.thread() == nullptr);
    QVERIFY(f.btnAction()->isEnabled());
    QVERIFY(!f.btnCancel()->isEnabled());
    QCOMPARE(CsvLineCount(f.DataFolder() / "reentrant-cancel.csv"), 1 + kCoursesPerPrefecture);

    // A new run starts normally afterwards.
    f.Dialogs().AnswerMessage(kIdNo);
    f.Dialogs().AnswerSave(f.FilePath("after.csv"));
    f.btnAction()->click();
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(finished_->at(1).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
}

// The same for 終了確認: the end closes it, and the window stays.
void TestWindowRun::runEndingWhileTheCloseQuestionIsOpen() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    bool endedWhileOpen = false;
    f.Dialogs().AnswerMessage([&window, &endedWhileOpen](const DialogCall&) {
        endedWhileOpen = WaitFor([&window] { return window.thread() == nullptr; });
        return kIdYes;
    });
    f.Dialogs().AnswerMessage(kIdNo);  // the completion question
    Start({0}, QStringLiteral("reentrant-close.csv"));
    QVERIFY(!window.close());
    QVERIFY(WaitForRunEnd());
    QVERIFY2(endedWhileOpen, "the run did not end while the question was open");

    QCOMPARE(finished_->size(), 1);
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QVERIFY(messages[0].closed);
    QCOMPARE(messages[1].caption, QStringLiteral("処理確認"));
    QVERIFY(window.isVisible());
    QCOMPARE(window.phase(), TFrmMain::RunPhase::Idle);
}

void TestWindowRun::windowDestroyedDuringARunWaitsForItsThread() {
    WindowFixture& f = fixture();
    f.CreateShown(PortalSettings());
    Start({0, 1, 2}, QStringLiteral("destroyed.csv"));
    f.Destroy();
    // The run stopped, closed its file and removed its scratch file.
    QVERIFY(CsvLineCount(f.DataFolder() / "destroyed.csv") >= 1);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));
}

void TestWindowRun::endSessionWhileTheCancelQuestionIsOpenStopsTheRunAndCloses() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    // The session ends while the user still reads the Cancel question; the
    // closed box answers No.
    f.Dialogs().AnswerMessage([&window](const DialogCall&) {
        window.EndSession();
        return kIdNo;
    });
    connect(&window, &TFrmMain::statusUpdated, this, [&f] {
        if (f.Window().report().courseIndex == 2 && !f.Window().sessionEnding()) {
            // Pressed once the window is back in its event loop, as a user's is.
            QTimer::singleShot(0, f.btnCancel(), &QPushButton::click);
        }
    });
    Start({0, 1}, QStringLiteral("session.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndClosingStopped});
    QCOMPARE(f.Dialogs().Messages().size(), std::size_t{1});
    QCOMPARE(f.Dialogs().CloseOpenDialogsCalls(), 1);
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(ReadArea(f.IniPath()), QByteArray("11") + QByteArray(45, '0'));
    const QByteArray csv = ReadBytes(f.DataFolder() / "session.csv");
    QVERIFY(csv.endsWith("\r\n"));
    QVERIFY(CsvLineCount(f.DataFolder() / "session.csv") < 1 + 2 * kCoursesPerPrefecture);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "tmp.dat"));
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestWindowRun::endSessionDuringTheCompletionQuestionCloses() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    f.Dialogs().AnswerMessage([&window](const DialogCall&) {
        window.EndSession();
        return kIdNo;
    });
    Start({3}, QStringLiteral("done.csv"));
    QVERIFY(WaitForRunEnd());
    QTRY_VERIFY(!window.isVisible());

    QCOMPARE(finished_->size(), 1);
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(f.Dialogs().Messages().size(), std::size_t{1});
    QCOMPARE(f.Dialogs().Count(DialogCall::Open), 0);
    QCOMPARE(ReadArea(f.IniPath()), QByteArray("0001") + QByteArray(43, '0'));
    QCOMPARE(CsvLineCount(f.DataFolder() / "done.csv"), 1 + kCoursesPerPrefecture);
}

void TestWindowRun::endSessionBeforeTheSettingsAreLoadedLeavesGolfIniAlone() {
    WindowFixture& f = fixture();
    WriteBytes(f.IniPath(), "[Config]\r\nArea=1\r\n");
    TFrmMain& window = f.Create(PortalSettings());
    window.EndSession();
    QVERIFY(!window.settingsLoaded());
    QCOMPARE(ReadBytes(f.IniPath()), QByteArray("[Config]\r\nArea=1\r\n"));
    // Later requests change nothing.
    window.EndSession();
    QCOMPARE(f.Dialogs().CloseOpenDialogsCalls(), 1);
}

void TestWindowRun::phaseFollowsTheRunThroughCancelAndItsEnd() {
    using Phase = TFrmMain::RunPhase;
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    QCOMPARE(window.phase(), Phase::Idle);
    std::vector<Phase> seen;
    connect(&window, &TFrmMain::progressStepped, this, [&f, &seen] {
        seen.push_back(f.Window().phase());
        if (f.prgBar()->value() == 2) {
            f.btnCancel()->click();
            seen.push_back(f.Window().phase());
        }
    });
    // The stopped run's rows stay beside an earlier file: the message that
    // says so is shown while the run is ending.
    WriteBytes(f.DataFolder() / "phases.csv", "earlier rows\r\n");
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage([&f, &seen](const DialogCall&) {
        seen.push_back(f.Window().phase());
        return kIdOk;
    });
    Start({0, 12}, QStringLiteral("phases.csv"));
    QCOMPARE(window.phase(), Phase::Running);
    QVERIFY(WaitForRunEnd());

    QCOMPARE(seen,
             (std::vector<Phase>{Phase::Running, Phase::Running, Phase::Stopping, Phase::Ending}));
    QCOMPARE(window.phase(), Phase::Idle);
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCancelled});
}

// A close confirmed while the end of the run is shown (the session's close
// button, say) ends the program once the message has been answered.
void TestWindowRun::closeConfirmedWhileTheOutcomeIsShownClosesAfterIt() {
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(PortalSettings());
    bool closedAtOnce = true;
    f.Dialogs().AnswerMessage([&window, &closedAtOnce](const DialogCall&) {
        closedAtOnce = window.close();  // asks 終了確認, answered Yes below
        return kIdNo;
    });
    f.Dialogs().AnswerMessage(kIdYes);
    Start({3}, QStringLiteral("shown.csv"));
    QVERIFY(WaitForRunEnd());

    QVERIFY(!closedAtOnce);
    QCOMPARE(finished_->size(), 1);
    QCOMPARE(finished_->at(0).at(0).toUInt(), quint32{TFrmMain::kEndCompleted});
    QStringList captions;
    for (const DialogCall& message : f.Dialogs().Messages()) {
        captions << message.caption;
    }
    QCOMPARE(captions, (QStringList{"処理確認", "終了確認"}));
    QTRY_VERIFY(!window.isVisible());
    QCOMPARE(window.phase(), TFrmMain::RunPhase::Closed);
    QCOMPARE(ReadArea(f.IniPath()), QByteArray("0001") + QByteArray(43, '0'));
    QCOMPARE(f.Dialogs().Count(DialogCall::Open), 0);
}

void TestWindowRun::endOfRunIsShownOnceWhateverLandsBeforeTheFinalCall_data() {
    QTest::addColumn<QStringList>("actions");  // cancel, close-yes, close-no
    QTest::addColumn<quint32>("code");
    const quint32 completed = TFrmMain::kEndCompleted;
    const quint32 closing = TFrmMain::kEndClosingStopped;
    QTest::newRow("cancel") << QStringList{"cancel"} << completed;
    QTest::newRow("cancel twice") << QStringList{"cancel", "cancel"} << completed;
    QTest::newRow("close no, cancel") << QStringList{"close-no", "cancel"} << completed;
    QTest::newRow("close yes") << QStringList{"close-yes"} << closing;
    QTest::newRow("cancel, close yes") << QStringList{"cancel", "close-yes"} << closing;
    QTest::newRow("close yes, cancel") << QStringList{"close-yes", "cancel"} << closing;
    QTest::newRow("close yes twice") << QStringList{"close-yes", "close-yes"} << closing;
}

void TestWindowRun::endOfRunIsShownOnceWhateverLandsBeforeTheFinalCall() {
    QFETCH(QStringList, actions);
    QFETCH(quint32, code);
    WindowFixture& f = fixture();
    HeldFinalCall held;
    TFrmMain& window = f.CreateShown(PortalSettings(), held.Body());
    Start({0}, QStringLiteral("gap.csv"));
    QVERIFY(held.WaitUntilHeld());
    const QPointer<TMyThread> thread = window.thread();
    QVERIFY(!window.running());

    QStringList expectedCaptions;
    for (const QString& action : actions) {
        if (action == QStringLiteral("cancel")) {
            f.btnCancel()->click();
        } else {
            f.Dialogs().AnswerMessage(action == QStringLiteral("close-yes") ? kIdYes : kIdNo);
            expectedCaptions << QStringLiteral("終了確認");
            // The window stays until the final call has come.
            QVERIFY(!window.close());
        }
    }
    if (code == TFrmMain::kEndCompleted) {
        f.Dialogs().AnswerMessage(kIdNo);
        expectedCaptions << QStringLiteral("処理確認");
    }
    QVERIFY(finished_->isEmpty());
    held.Release();
    QVERIFY(WaitForRunEnd());
    QVERIFY(WaitFor([&thread] { return thread.isNull(); }));
    QCoreApplication::processEvents();

    QCOMPARE(finished_->size(), 1);
    QCOMPARE(finished_->at(0).at(0).toUInt(), code);
    QStringList captions;
    for (const DialogCall& message : f.Dialogs().Messages()) {
        captions << message.caption;
    }
    QCOMPARE(captions, expectedCaptions);
    QCOMPARE(f.Dialogs().Count(DialogCall::Beep), code == TFrmMain::kEndCompleted ? 1 : 0);
    QCOMPARE(CsvLineCount(f.DataFolder() / "gap.csv"), 1 + kCoursesPerPrefecture);
    if (code == TFrmMain::kEndClosingStopped) {
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(ReadArea(f.IniPath()), QByteArray("1") + QByteArray(46, '0'));
    } else {
        QVERIFY(window.isVisible());
        QVERIFY(f.btnAction()->isEnabled());
        QVERIFY(!f.btnCancel()->isEnabled());
    }
}

QTEST_MAIN(TestWindowRun)
#include "tst_window_run.moc"
