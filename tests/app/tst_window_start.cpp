// Pressing Start: the selection check, the save dialog, the ".csv" rule, the
// earlier file at the output path, the running state, and runs that cannot
// do their work. The runs here reach no portal (a closed port on loopback).
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "FileLock.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "window_internal.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

// A loopback port that refuses connections for as long as the tests run.
HarvestSettings NowhereSettings() {
    static const test::ClosedLoopbackPort closed;
    const std::string host = closed.host();
    HarvestSettings settings;
    settings.portal.listingHost = host;
    settings.portal.bookingHost = host;
    settings.fetch.connectTimeout = std::chrono::milliseconds(5000);
    settings.retries.waits = {std::chrono::milliseconds(10)};  // a refused connection is retried
    return settings;
}

bool WaitForRunEnd(QSignalSpy& finished, int count = 1) {
    return QTest::qWaitFor([&] { return finished.count() >= count; }, 60000);
}

// Answers every message box of the end of a run with OK / No.
void AnswerEndOfRun(ScriptedDialogs& dialogs) {
    dialogs.AnswerMessage(kIdNo);
}

}  // namespace

class TestWindowStart : public WindowTestCase {
    Q_OBJECT

  private slots:
    void startWithNothingTickedAsksForASelection();
    void cancelledSaveDialogKeepsTheDefaultName();

    void csvExtensionRule_data();
    void csvExtensionRule();
    void chosenFileTypeSetsTheFormatAndTheExtension_data();
    void chosenFileTypeSetsTheFormatAndTheExtension();
    void typeChosenInTheDialogGivesTheNameItsExtension();
    void nameWithoutCsvExtensionIsWrittenWithIt();
    void earlierFileUnderTheAppendedNameIsKeptWhenTheUserSaysNo();
    void earlierFileUnderTheAppendedNameOutlivesARunThatReachesNoPortal();
    void earlierFileUnderTheChosenNameIsAskedAboutAndNotDeletedAtStart();
    void outputInUseByAnotherRunShowsTheInUseMessage();
    void folderAtTheOutputPathStartsTheRunAndReportsTheCreateFailure();

    void startPutsTheWindowIntoItsRunningState();
    void statusLinesKeepTheirRightEdge();

    void outputFileThatCannotBeCreatedIsReportedAndTheWindowGoesIdle();
    void threadEndingWithoutItsFinalCallStillEndsTheRun();
    void unexpectedErrorInTheRunIsReported();
};

void TestWindowStart::startWithNothingTickedAsksForASelection() {
    WindowFixture& fixture = this->fixture();
    fixture.CreateShown();
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.btnAction()->click();

    const std::vector<DialogCall>& calls = fixture.Dialogs().Calls();
    QCOMPARE(calls.size(), std::size_t{1});
    QCOMPARE(calls[0].kind, DialogCall::Message);
    QCOMPARE(calls[0].text, QStringLiteral("都道府県は１つ以上を選択してください。"));
    QCOMPARE(calls[0].caption, QStringLiteral("Error"));
    QCOMPARE(calls[0].flags, kErrorNoticeFlags);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(!fixture.btnCancel()->isEnabled());
    QVERIFY(fixture.Window().thread() == nullptr);
}

void TestWindowStart::cancelledSaveDialogKeepsTheDefaultName() {
    WindowFixture& fixture = this->fixture();
    fixture.CreateShown(NowhereSettings());
    fixture.ToggleByUser(3);
    fixture.Dialogs().AnswerSave(QString());
    fixture.btnAction()->click();

    const std::vector<DialogCall>& calls = fixture.Dialogs().Calls();
    QCOMPARE(calls.size(), std::size_t{1});
    QCOMPARE(calls[0].kind, DialogCall::SaveDialog);
    QCOMPARE(calls[0].request.title, QStringLiteral("取得情報の保存先を指定してください"));
    QCOMPARE(calls[0].request.filters,
             (QStringList{
                 QStringLiteral("CSVファイル (*.csv)"), QStringLiteral("CSVファイル UTF-8 (*.csv)"),
                 QStringLiteral("Excelブック (*.xlsx)"), QStringLiteral("JSON Lines (*.jsonl)")}));
    QCOMPARE(calls[0].request.fileName, QStringLiteral("ゴルフ場一覧.csv"));
    // The window asks about an earlier file itself, after the offer to continue.
    QVERIFY(!calls[0].request.confirmOverwrite);
    QVERIFY(calls[0].request.hideReadOnly);
    QVERIFY(calls[0].request.resizable);
    QCOMPARE(fixture.Window().outputPath(), QStringLiteral("ゴルフ場一覧.csv"));
    QVERIFY(fixture.Window().thread() == nullptr);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(fixture.prgBar()->isHidden());
}

void TestWindowStart::csvExtensionRule_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/d/list"
                                  << "/d/list.csv";
    QTest::newRow("lower case") << "/d/list.csv"
                                << "/d/list.csv";
    QTest::newRow("upper case") << "/d/list.CSV"
                                << "/d/list.CSV";
    QTest::newRow("mixed case") << "/d/list.cSv"
                                << "/d/list.cSv";
    QTest::newRow("other extension") << "/d/list.txt"
                                     << "/d/list.txt.csv";
    QTest::newRow("csv inside the name") << "/d/list.csv.bak"
                                         << "/d/list.csv.bak.csv";
    QTest::newRow("trailing dot") << "/d/list."
                                  << "/d/list..csv";
    QTest::newRow("dot only in the folder") << "/d.csv/list"
                                            << "/d.csv/list.csv";
    QTest::newRow("dot only in a Windows folder") << "C:\\d.csv\\list"
                                                  << "C:\\d.csv\\list.csv";
    QTest::newRow("name that is the extension") << "/d/.csv"
                                                << "/d/.csv";
    QTest::newRow("Japanese name") << "/d/ゴルフ場一覧"
                                   << "/d/ゴルフ場一覧.csv";
}

void TestWindowStart::csvExtensionRule() {
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QCOMPARE(AppendExtension(chosen, QStringLiteral(".csv")), expected);
}

void TestWindowStart::chosenFileTypeSetsTheFormatAndTheExtension_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("format");
    const int csv = static_cast<int>(OutputFormat::Csv);
    const int utf8 = static_cast<int>(OutputFormat::CsvUtf8);
    const int xlsx = static_cast<int>(OutputFormat::Xlsx);
    const int jsonl = static_cast<int>(OutputFormat::Jsonl);
    QTest::newRow("code page 932 CSV") << 0 << "list"
                                       << "list.csv" << csv;
    QTest::newRow("UTF-8 CSV") << 1 << "list.CSV"
                               << "list.CSV" << utf8;
    QTest::newRow("workbook") << 2 << "list"
                              << "list.xlsx" << xlsx;
    QTest::newRow("workbook, any case") << 2 << "list.XLSX"
                                        << "list.XLSX" << xlsx;
    QTest::newRow("workbook named .csv") << 2 << "list.csv"
                                         << "list.csv.xlsx" << xlsx;
    QTest::newRow("JSON Lines") << 3 << "list.jsonl"
                                << "list.jsonl" << jsonl;
}

void TestWindowStart::chosenFileTypeSetsTheFormatAndTheExtension() {
    QFETCH(int, filter);
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QFETCH(int, format);
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath(chosen), filter);
    fixture.Dialogs().AnswerMessage(kIdOk);  // no portal answers: one Error box
    fixture.btnAction()->click();

    QCOMPARE(window.outputPath(), fixture.FilePath(expected));
    QVERIFY(window.request() != nullptr);
    QCOMPARE(static_cast<int>(window.request()->output.format), format);
    QCOMPARE(window.request()->output.path, window::ToPath(fixture.FilePath(expected)));
    QVERIFY(WaitForRunEnd(finished));
    QCOMPARE(fixture.Dialogs().Messages().at(0).caption, QStringLiteral("Error"));
}

void TestWindowStart::typeChosenInTheDialogGivesTheNameItsExtension() {
    const QStringList filters = OutputTypeFilters();
    QCOMPARE(filters.size(), 4);
    QCOMPARE(filters.front(), QStringLiteral("CSVファイル (*.csv)"));
    QCOMPARE(FilterExtension(filters[2]), QStringLiteral(".xlsx"));
    QCOMPARE(WithTypeExtension(QStringLiteral("一覧.csv"), filters, filters[2]),
             QStringLiteral("一覧.xlsx"));
    QCOMPARE(WithTypeExtension(QStringLiteral("一覧.XLSX"), filters, filters[3]),
             QStringLiteral("一覧.jsonl"));
    QCOMPARE(WithTypeExtension(QStringLiteral("一覧.jsonl"), filters, filters[1]),
             QStringLiteral("一覧.csv"));
    // A name without one of the types' extensions is left to the user.
    QCOMPARE(WithTypeExtension(QStringLiteral("一覧.txt"), filters, filters[2]),
             QStringLiteral("一覧.txt"));
    QCOMPARE(WithTypeExtension(QStringLiteral(".csv"), filters, filters[2]),
             QStringLiteral(".csv"));
}

void TestWindowStart::nameWithoutCsvExtensionIsWrittenWithIt() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("report.txt"));
    AnswerEndOfRun(fixture.Dialogs());
    fixture.btnAction()->click();

    QCOMPARE(window.outputPath(), fixture.FilePath("report.txt.csv"));
    QVERIFY(WaitForRunEnd(finished));
    // The header line alone: no portal answered.
    const QByteArray written = ReadBytes(fixture.DataFolder() / "report.txt.csv");
    QVERIFY(written.endsWith("\r\n"));
    QCOMPARE(written.count("\r\n"), 1);
    QVERIFY(!std::filesystem::exists(fixture.DataFolder() / "report.txt"));
}

void TestWindowStart::earlierFileUnderTheAppendedNameIsKeptWhenTheUserSaysNo() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    WriteBytes(fixture.DataFolder() / "courses.csv", "earlier rows\r\n");
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("courses"));
    fixture.Dialogs().AnswerMessage(kIdNo);
    fixture.btnAction()->click();

    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].caption, QStringLiteral("上書き確認"));
    QCOMPARE(messages[0].text, QStringLiteral("courses.csv は既に存在します。\n上書きしますか？"));
    QCOMPARE(messages[0].flags, kQuestionNoDefaultFlags);
    QCOMPARE(ReadBytes(fixture.DataFolder() / "courses.csv"), QByteArray("earlier rows\r\n"));
    QVERIFY(window.thread() == nullptr);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(fixture.prgBar()->isHidden());
}

void TestWindowStart::earlierFileUnderTheAppendedNameOutlivesARunThatReachesNoPortal() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    WriteBytes(fixture.DataFolder() / "courses.csv", "earlier rows\r\n");
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("courses"));
    fixture.Dialogs().AnswerMessage(kIdYes);
    AnswerEndOfRun(fixture.Dialogs());
    fixture.btnAction()->click();
    QVERIFY(WaitForRunEnd(finished));

    // Asked about, and then kept: the run found nothing to put in its place.
    QCOMPARE(fixture.Dialogs().Messages().front().caption, QStringLiteral("上書き確認"));
    QCOMPARE(finished.at(0).at(0).toUInt(), quint32{TFrmMain::kEndUnreachable});
    QCOMPARE(ReadBytes(fixture.DataFolder() / "courses.csv"), QByteArray("earlier rows\r\n"));
    QVERIFY(!std::filesystem::exists(fixture.DataFolder() / "courses.csv.partial"));
}

void TestWindowStart::earlierFileUnderTheChosenNameIsAskedAboutAndNotDeletedAtStart() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    WriteBytes(fixture.DataFolder() / "courses.CSV", "earlier rows\r\n");
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("courses.CSV"));
    fixture.Dialogs().AnswerMessage(kIdYes);
    AnswerEndOfRun(fixture.Dialogs());
    fixture.btnAction()->click();
    QCOMPARE(ReadBytes(fixture.DataFolder() / "courses.CSV"), QByteArray("earlier rows\r\n"));
    QVERIFY(WaitForRunEnd(finished));

    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.front().caption, QStringLiteral("上書き確認"));
    QCOMPARE(messages.front().text,
             QStringLiteral("courses.CSV は既に存在します。\n上書きしますか？"));
    QCOMPARE(ReadBytes(fixture.DataFolder() / "courses.CSV"), QByteArray("earlier rows\r\n"));
}

void TestWindowStart::outputInUseByAnotherRunShowsTheInUseMessage() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    const std::filesystem::path output = fixture.DataFolder() / "out.csv";
    WriteBytes(output, "earlier rows\r\n");
    // Another run (teebasket-cli, say) writes the same output.
    const FileLock otherRun(output.string() + ".lock");
    QCOMPARE(otherRun.state(), FileLock::State::Held);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("out.csv"));
    fixture.Dialogs().AnswerMessage(kIdYes);  // 上書き確認
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.btnAction()->click();
    QVERIFY(WaitForRunEnd(finished));

    std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    messages.erase(messages.begin());
    QCOMPARE(
        messages[0].text,
        QStringLiteral(
            "選択されたファイルが他のアプリケーションで使用中の為\n開くことができませんでした。"));
    QCOMPARE(messages[0].caption, QStringLiteral("Error"));
    QCOMPARE(messages[0].flags, kErrorNoticeFlags);
    QCOMPARE(ReadBytes(output), QByteArray("earlier rows\r\n"));
    QVERIFY(!std::filesystem::exists(output.string() + ".partial"));
    QVERIFY(window.thread() == nullptr);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(!fixture.btnCancel()->isEnabled());
    QVERIFY(fixture.lstArea()->isEnabled());
}

void TestWindowStart::folderAtTheOutputPathStartsTheRunAndReportsTheCreateFailure() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    // A folder under the name as chosen and under the name with ".csv" added.
    for (const char* name : {"out.csv", "plain.csv"}) {
        std::filesystem::create_directories(fixture.DataFolder() / name / "inside");
    }
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("out.csv"));
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.Dialogs().AnswerSave(fixture.FilePath("plain"));
    fixture.Dialogs().AnswerMessage(kIdOk);

    for (const char* name : {"out.csv", "plain.csv"}) {
        fixture.btnAction()->click();
        // Nothing to delete, no overwrite question: the run starts.
        QVERIFY(window.thread() != nullptr);
        QVERIFY(WaitForRunEnd(finished));
        QCOMPARE(finished.takeFirst().at(0).toUInt(), quint32{TFrmMain::kEndFailed});
        QVERIFY(std::filesystem::is_directory(fixture.DataFolder() / name / "inside"));
    }
    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{2});
    for (const DialogCall& message : messages) {
        QCOMPARE(message.caption, QStringLiteral("Error"));
        QVERIFY(message.text.startsWith(QStringLiteral("情報の取得中にエラーが発生しました。\n")));
    }
    QVERIFY(messages[0].text.contains(QStringLiteral("out.csv")));
    QVERIFY(messages[1].text.contains(QStringLiteral("plain.csv")));
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(!std::filesystem::exists(fixture.DataFolder() / "tmp.dat"));
}

void TestWindowStart::startPutsTheWindowIntoItsRunningState() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(5);
    fixture.ToggleByUser(2);
    fixture.Dialogs().AnswerSave(fixture.FilePath("state.csv"));
    AnswerEndOfRun(fixture.Dialogs());
    fixture.btnAction()->click();

    // Nothing of the run reaches the window before the event loop runs again.
    QVERIFY(window.thread() != nullptr);
    QCOMPARE(window.endCode(), std::uint32_t{TFrmMain::kEndCompleted});
    QVERIFY(!fixture.chkArea()->isEnabled());
    QVERIFY(!fixture.lstArea()->isEnabled());
    QVERIFY(!fixture.btnAction()->isEnabled());
    QVERIFY(fixture.btnCancel()->isEnabled());
    QVERIFY(fixture.prgBar()->isVisible());
    QCOMPARE(fixture.prgBar()->value(), 0);
    QCOMPARE(fixture.lblStatus()->text(), QStringLiteral("ページ情報を取得中..."));
    QCOMPARE(fixture.lblStatus2()->text(), QString());
    QVERIFY(QApplication::overrideCursor() != nullptr);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    // The selection is not saved at Start.
    QVERIFY(!std::filesystem::exists(fixture.IniPath()));

    QVERIFY(WaitForRunEnd(finished));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    QVERIFY(fixture.chkArea()->isEnabled());
    QVERIFY(fixture.lstArea()->isEnabled());
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(!fixture.btnCancel()->isEnabled());
    QVERIFY(fixture.prgBar()->isHidden());
    QCOMPARE(
        fixture.lblStatus()->text(),
        QStringLiteral("接続先: ") + QString::fromStdString(NowhereSettings().portal.listingHost));
    // The line above says how the run ended.
    QVERIFY2(fixture.lblStatus2()->text().startsWith(QStringLiteral("接続できず（")),
             qPrintable(fixture.lblStatus2()->text()));
    QCOMPARE(fixture.TickedRows(), (std::vector<int>{2, 5}));
}

void TestWindowStart::statusLinesKeepTheirRightEdge() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("edge.csv"));
    AnswerEndOfRun(fixture.Dialogs());
    fixture.btnAction()->click();

    QCOMPARE(fixture.lblStatus()->geometry().right() + 1, 301);
    QVERIFY(fixture.lblStatus()->width() > 16);
    QCOMPARE(fixture.lblStatus()->y(), 199);
    QVERIFY(WaitForRunEnd(finished));
    QCOMPARE(fixture.lblStatus()->geometry().right() + 1, 301);
    QCOMPARE(fixture.lblStatus2()->geometry().right() + 1, 301);
    QCOMPARE(fixture.lblStatus2()->y(), 183);
}

void TestWindowStart::outputFileThatCannotBeCreatedIsReportedAndTheWindowGoesIdle() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings());
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("no-such-folder/list.csv"));
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.btnAction()->click();
    QVERIFY(WaitForRunEnd(finished));

    QCOMPARE(finished.at(0).at(0).toUInt(), quint32{TFrmMain::kEndFailed});
    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].caption, QStringLiteral("Error"));
    QVERIFY(messages[0].text.startsWith(QStringLiteral("情報の取得中にエラーが発生しました。\n")));
    QVERIFY(messages[0].text.contains(QStringLiteral("no-such-folder")));
    QCOMPARE(messages[0].flags, unsigned{kMbOk | kMbIconError | kMbTopmost});
    // Not reported as "nothing found", and nothing else is shown.
    QCOMPARE(fixture.Dialogs().Count(DialogCall::Beep), 0);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(window.thread() == nullptr);
    QVERIFY(!std::filesystem::exists(fixture.DataFolder() / "tmp.dat"));
}

void TestWindowStart::threadEndingWithoutItsFinalCallStillEndsTheRun() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings(), [](HarvestRun&, HarvestObserver&) {});
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("silent.csv"));
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.btnAction()->click();
    QVERIFY(WaitForRunEnd(finished));

    QCOMPARE(finished.at(0).at(0).toUInt(), quint32{TFrmMain::kEndFailed});
    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].caption, QStringLiteral("Error"));
    QVERIFY(!window.running());
    QVERIFY(window.thread() == nullptr);
    QVERIFY(fixture.btnAction()->isEnabled());
    QVERIFY(!fixture.btnCancel()->isEnabled());
    QVERIFY(fixture.prgBar()->isHidden());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestWindowStart::unexpectedErrorInTheRunIsReported() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown(NowhereSettings(), [](HarvestRun&, HarvestObserver&) {
        throw std::runtime_error("disk on fire");
    });
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    fixture.ToggleByUser(0);
    fixture.Dialogs().AnswerSave(fixture.FilePath("thrown.csv"));
    fixture.Dialogs().AnswerMessage(kIdOk);
    fixture.btnAction()->click();
    QVERIFY(WaitForRunEnd(finished));

    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QVERIFY(messages[0].text.contains(QStringLiteral("disk on fire")));
    QVERIFY(fixture.btnAction()->isEnabled());
}

QTEST_MAIN(TestWindowStart)
#include "tst_window_start.moc"
