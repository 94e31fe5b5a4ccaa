// The file transaction as the window lives it, against the demo portal: how
// each way of ending a run leaves the output file, an earlier file and the
// partial file, and how the end message names the pages that could not be
// read. (The rows of a stopped run beside an earlier file, a run that finds
// nothing or reaches no portal, and an output in use are in tst_window_run
// and tst_window_start.)
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "CourseRecord.h"
#include "MECSUtils.h"
#include "PortalRunSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kHokkaido = 0;
constexpr int kTokyo = 12;

std::string Card(const std::string& id, const std::string& name) {
    return "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id + "/?rt=1\">" + name +
           "</a>\n</h2>\n";
}

// A small detail page that the extraction reads a name and a telephone from.
constexpr const char* kSmallDetailPage =
    "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
    "\"name\":\"青葉\",\"image\":\"i\",\"telephone\":\"03-1\",\"x\":1}</script>\n";

#ifndef _WIN32
// Every file this process writes is limited to `bytes` while the object
// lives, as a full disk would limit it: a write over the limit fails with
// EFBIG instead of ending the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { Lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    void Lift() {
        if (!lifted_) {
            ::setrlimit(RLIMIT_FSIZE, &previous_);
            std::signal(SIGXFSZ, previousHandler_);
            lifted_ = true;
        }
    }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool lifted_ = false;
};
#endif

}  // namespace

class TestWindowFiles : public WindowTestCase {
    Q_OBJECT

  private slots:
    void finishedRunWithPagesNotReadReplacesTheEarlierFileAndListsThePages();
    void stoppedRunWithoutAnEarlierFilePutsItsRowsInPlace();
    void portalThatStopsAnsweringWithoutAnEarlierFilePutsItsRowsInPlace();
    void failedWriteKeepsTheEarlierFileAndTheRunCanBeContinued();
    void runThatFindsNothingRemovesAnOldPartialFileAndKeepsTheEarlierFile();
    void finishedFileThatNoProgramOpensIsNamedWithItsFolder();
    void readOnlyOutputIsRefusedAndStaysAsItWas();

  private:
    bool WaitForRunEnd(int count = 1) {
        return WaitFor([this, count] { return finished_->count() >= count; });
    }
    quint32 EndCode(int run) const { return finished_->at(run).at(0).toUInt(); }
    void Watch() {
        finished_ = std::make_unique<QSignalSpy>(&fixture().Window(), &TFrmMain::runFinished);
    }

    std::unique_ptr<QSignalSpy> finished_;
};

// Row 1 of the table: a finished run takes the output's place whatever was
// there, pages not read included; the message counts them and its details
// name each one.
void TestWindowFiles::finishedRunWithPagesNotReadReplacesTheEarlierFileAndListsThePages() {
    test::TempDir pages;
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                         Card("1001", "青葉&amp;GC") + Card("x-status-404", "閉鎖\x1b[2Jコース") +
                             Card("x-status-410", ""));
    test::WriteFileBytes(pages.path() / "detail" / "1001.html", kSmallDetailPage);
    const test::PortalProcess portal({.pagesDir = pages.path()});  // no listing of 北海道
    WindowFixture& f = fixture();
    f.CreateShown(SettingsFor(portal));
    Watch();
    // The earlier file holds a row for one of the pages that cannot be read.
    const std::filesystem::path output = f.DataFolder() / "list.csv";
    CourseRecord earlierRow;
    earlierRow[kColumnName] = UTF8ToAnsi("旧コース");
    earlierRow[kColumnTelephone] = "03-9";
    earlierRow[kColumnDetailUrl] = "https://" + portal.host() + "/guide/disp/c_id/x-status-404";
    const std::string earlierLine = CourseLine(earlierRow);
    WriteBytes(output, QByteArray::fromStdString(CsvHeaderLine() + "\r\n" + earlierLine + "\r\n"));
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("list.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCompleted});
    QCOMPARE(CsvLineCount(output), 1 + 3);
    QCOMPARE(ReadBytes(output).split('\n')[2], QByteArray::fromStdString(earlierLine + "\r"));
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "list.csv.partial"));
    std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[0].caption, QStringLiteral("上書き確認"));
    messages.erase(messages.begin());
    QCOMPARE(messages[0].text, QStringLiteral("情報の取得が完了しました。\n"
                                              "3 件を list.csv に保存しました。\n"
                                              "取得できなかったページが 3 件あります。\n"
                                              "保存したファイルを開きますか？"));
    // By prefecture, by the card's name (its control characters escaped), or
    // by identifier where the card shows no name; each with its reason (and
    // whether the course kept its earlier row) and URL.
    const QString base = QString::fromStdString(portal.baseUrl());
    QCOMPARE(messages[0].details,
             QStringLiteral("北海道の一覧: ページが見つかりません（HTTP 404）\n  ") + base +
                 QStringLiteral("/doc/area/hokkaido/?sort=kana&page=1\n"
                                "閉鎖\\x1B[2Jコース: ページが見つかりません（HTTP 404）（前回の値を"
                                "保持）\n  ") +
                 base +
                 QStringLiteral("/guide/disp/c_id/x-status-404\n"
                                "コースID x-status-410: ページは削除されています（HTTP 410）\n  ") +
                 base + QStringLiteral("/guide/disp/c_id/x-status-410"));
}

// Row 2: a stopped run with no earlier file puts its rows in place, and no
// partial file stays.
void TestWindowFiles::stoppedRunWithoutAnEarlierFilePutsItsRowsInPlace() {
    const test::PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "3"}});
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    Watch();
    f.CancelWhenProgressReaches(2);
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("stopped.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndCancelled});
    QCOMPARE(window.report().files, FileOutcome::NewFileInPlace);
    QCOMPARE(CsvLineCount(f.DataFolder() / "stopped.csv"), 1 + 3);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "stopped.csv.partial"));
    // The Cancel question, then the notice: the rows are where the user asked.
    QCOMPARE(f.Dialogs().Messages().size(), std::size_t{2});
    QCOMPARE(f.Dialogs().Messages()[1].caption, QStringLiteral("取得中断"));
    QVERIFY(f.Dialogs().Messages()[1].text.contains(
        QString::fromStdString((f.DataFolder() / "stopped.csv").string())));
}

// Row 4 without an earlier file: the rows of a run whose portal stopped
// answering go in place; the message says why and names the pages.
void TestWindowFiles::portalThatStopsAnsweringWithoutAnEarlierFilePutsItsRowsInPlace() {
    const test::PortalProcess listing({.extraArgs = {"--courses-per-prefecture", "8"}});
    const test::ClosedLoopbackPort closed;
    HarvestSettings settings = SettingsFor(listing);
    settings.portal.bookingHost = closed.host();
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(settings);
    Watch();
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kHokkaido, kTokyo}, QStringLiteral("gone.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndUnreachable});
    QCOMPARE(window.report().ending, RunEnding::PortalStoppedAnswering);
    QCOMPARE(CsvLineCount(f.DataFolder() / "gone.csv"), 1 + 5);
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "gone.csv.partial"));
    const DialogCall message = f.Dialogs().Messages().at(0);
    // The host and why, then how to go on from the rows in place.
    QVERIFY2(message.text.endsWith(QStringLiteral("\n詳細ページのホスト（%1）: 接続が拒否されました"
                                                  "（3 回試しました）\n同じファイルと都道府県で取得"
                                                  "を開始すると、続きから取得できます。")
                                       .arg(QString::fromStdString(closed.host()))),
             qPrintable(message.text));
    // Five courses, each by the name its card showed.
    const QStringList entries = message.details.split(u'\n');
    QCOMPARE(entries.size(), 2 * 5);
    for (int i = 0; i < entries.size(); i += 2) {
        QVERIFY2(entries[i].endsWith(QStringLiteral(": 接続が拒否されました（3 回試しました）")),
                 qPrintable(entries[i]));
        QVERIFY2(!entries[i].startsWith(QStringLiteral("コースID")), qPrintable(entries[i]));
        QVERIFY(entries[i + 1].startsWith(QStringLiteral("  https://") +
                                          QString::fromStdString(closed.host()) +
                                          QStringLiteral("/guide/disp/c_id/")));
    }
}

// The last row: a write that fails (the disk full) leaves the earlier file
// as it was, names the reason in Japanese, and keeps the rows written in the
// partial file, from which the next Start continues once there is room.
void TestWindowFiles::failedWriteKeepsTheEarlierFileAndTheRunCanBeContinued() {
#ifdef _WIN32
    QSKIP("a file-size limit is how these tests fill a disk, and Windows has none");
#else
    test::TempDir pages;
    std::string listing;
    for (int i = 1; i <= 30; ++i) {
        const std::string id = "c" + std::to_string(i);
        listing += Card(id, "青葉");
        test::WriteFileBytes(pages.path() / "detail" / (id + ".html"), kSmallDetailPage);
    }
    test::WriteFileBytes(pages.path() / "listing" / "tokyo.html", listing);
    const test::PortalProcess portal({.pagesDir = pages.path()});
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    Watch();
    const std::filesystem::path output = f.DataFolder() / "full.csv";
    const std::filesystem::path partial = f.DataFolder() / "full.csv.partial";
    WriteBytes(output, "earlier rows\r\n");

    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdOk);
    {
        FileSizeLimit disk(3000);
        TickAndStart(f, {kTokyo}, QStringLiteral("full.csv"));
        QVERIFY(WaitForRunEnd());
    }
    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndFailed});
    QCOMPARE(ReadBytes(output), QByteArray("earlier rows\r\n"));
    const DialogCall failure = f.Dialogs().Messages().at(1);
    QCOMPARE(failure.caption, QStringLiteral("Error"));
    QCOMPARE(failure.text, QStringLiteral("情報の取得中にエラーが発生しました。\n"
                                          "空き容量がありません: 「") +
                               QString::fromStdString(partial.string()) + QStringLiteral("」"));
    const QByteArray kept = ReadBytes(partial);
    QVERIFY(kept.endsWith("\r\n"));
    const int keptLines = CsvLineCount(partial);
    QVERIFY(keptLines > 1 && keptLines < 1 + 30);

    // With room again, Start offers to continue, and the file is whole.
    f.Dialogs().Clear();
    f.Dialogs().AnswerMessage(kIdYes);  // 再開確認
    f.Dialogs().AnswerMessage(kIdNo);   // the completion question
    TickAndStart(f, {kTokyo}, QStringLiteral("full.csv"));
    QVERIFY(WaitForRunEnd(2));
    QCOMPARE(f.Dialogs().Messages().at(0).caption, QStringLiteral("再開確認"));
    QCOMPARE(EndCode(1), quint32{TFrmMain::kEndCompleted});
    QVERIFY(window.report().resume.fromPartial);
    QCOMPARE(CsvLineCount(output), 1 + 30);
    QVERIFY(!std::filesystem::exists(partial));
#endif
}

// Row 5: a run that finds nothing leaves the earlier file as it was; the
// partial file of an older stopped run, which the user chose not to
// continue, goes.
void TestWindowFiles::runThatFindsNothingRemovesAnOldPartialFileAndKeepsTheEarlierFile() {
    const test::PortalProcess portal;
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    Watch();
    const std::filesystem::path output = f.DataFolder() / "none.csv";
    WriteBytes(output, "earlier rows\r\n");
    WriteBytes(f.DataFolder() / "none.csv.partial", "rows of an older run\r\n");
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {30}, QStringLiteral("none.csv"));  // 鳥取県: no course
    QVERIFY(WaitForRunEnd());

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndNothingFound});
    QVERIFY(window.report().partialReplaced);
    QCOMPARE(ReadBytes(output), QByteArray("earlier rows\r\n"));
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "none.csv.partial"));
}

// はい to "open the file?" on a desktop that cannot open it (no xdg-open)
// says so and where the file is.
void TestWindowFiles::finishedFileThatNoProgramOpensIsNamedWithItsFolder() {
    const test::PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "2"}});
    WindowFixture& f = fixture();
    f.CreateShown(SettingsFor(portal));
    Watch();
    f.Dialogs().SetOpenWorks(false);
    f.Dialogs().AnswerMessage(kIdYes);
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kTokyo}, QStringLiteral("done.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(f.Dialogs().Count(DialogCall::Open), 1);
    const std::vector<DialogCall> messages = f.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    QCOMPARE(messages[1].caption, QStringLiteral("Error"));
    QCOMPARE(
        messages[1].text,
        QStringLiteral("保存したファイルを開くプログラムが見つからないため、開くことができません"
                       "でした。\nファイルは次の場所に保存しました:\n") +
            QDir::toNativeSeparators(f.FilePath(QStringLiteral("done.csv"))));
    QCOMPARE(messages[1].flags, kErrorNoticeFlags);
}

// The window shares the engine's refusals: a read-only output stays as it
// was, before any request, and the message says why in Japanese.
void TestWindowFiles::readOnlyOutputIsRefusedAndStaysAsItWas() {
    const test::PortalProcess portal;
    WindowFixture& f = fixture();
    f.CreateShown(SettingsFor(portal));
    Watch();
    const std::filesystem::path output = f.DataFolder() / "kept.csv";
    WriteBytes(output, "earlier rows\r\n");
    std::filesystem::permissions(output, std::filesystem::perms::owner_read);
    f.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    f.Dialogs().AnswerMessage(kIdOk);
    TickAndStart(f, {kTokyo}, QStringLiteral("kept.csv"));
    QVERIFY(WaitForRunEnd());

    QCOMPARE(EndCode(0), quint32{TFrmMain::kEndFailed});
    QCOMPARE(f.Dialogs().Messages().at(1).text,
             QStringLiteral("情報の取得中にエラーが発生しました。\n"
                            "保存先のファイルは読み取り専用のため、変更していません: 「") +
                 QString::fromStdString(output.string()) + QStringLiteral("」"));
    QCOMPARE(ReadBytes(output), QByteArray("earlier rows\r\n"));
    QVERIFY(portal.requests().empty());
    QVERIFY(!std::filesystem::exists(f.DataFolder() / "kept.csv.partial"));
    std::filesystem::permissions(output, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

QTEST_MAIN(TestWindowFiles)
#include "tst_window_files.moc"
