// The window 取得結果 after a real run against the demo portal: opened from
// the end message, compared with an earlier file, its changes highlighted,
// filtered, searched, a course's page opened and the rows saved.
//
// With TEEBASKET_RESULTS_SCREENSHOT=FILE.png set, the window is pictured
// there, changes highlighted and filtered.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "MECSUtils.h"
#include "OutputReader.h"
#include "PortalRunSupport.h"
#include "ResultsWindow.h"
#include "Unithread.h"
#include "Workbook.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace {

constexpr int kChiba = 11;  // row of 千葉県
constexpr int kJsonLinesType = 3;
constexpr int kWorkbookType = 2;

// The rows of the table whose background is `colour`, by 名称.
QStringList RowsColoured(const QAbstractItemModel& model, const QColor& colour) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, kColumnName).data(Qt::BackgroundRole).value<QColor>() == colour) {
            names << model.index(row, kColumnName).data().toString();
        }
    }
    return names;
}

}  // namespace

class TestResultsWindow : public WindowTestCase {
    Q_OBJECT

  private slots:
    void runShowsItsResultsWithTheChangesSinceAnEarlierFile();
    void endMessageButtonAnswersShowResults();
    void secondRunIsComparedWithThePreviousRunOfTheHistory();
};

// A second run of the same prefectures, into another file, is compared with
// the first through the history: the same courses, so no change at all.
void TestResultsWindow::secondRunIsComparedWithThePreviousRunOfTheHistory() {
    const test::PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "4"}});
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    f.Dialogs().AnswerMessage(kIdNo);
    TickAndStart(f, {kChiba}, QStringLiteral("first.jsonl"), kJsonLinesType);
    QVERIFY(WaitFor([&finished] { return finished.count() == 1; }));

    f.Dialogs().AnswerMessage(kIdShowResults);
    TickAndStart(f, {kChiba}, QStringLiteral("second.csv"));
    QVERIFY(WaitFor([&finished] { return finished.count() == 2; }));
    TResultsWindow* results = window.resultsWindow();
    QVERIFY(results != nullptr);
    QCOMPARE(results->view()->model()->rowCount(), 4);
    QCOMPARE(results->summaryLabel()->text(),
             QStringLiteral("新規 0・掲載終了 0・閉鎖 0・評価変動 0・取得できず 0"));
}

// The real message box of the end of a run offers 結果を表示 beside its
// answers, and pressing it is its own answer.
void TestResultsWindow::endMessageButtonAnswersShowResults() {
    TQtWindowDialogs dialogs;
    QStringList buttons;
    QTimer press;
    connect(&press, &QTimer::timeout, this, [&buttons] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        for (const QAbstractButton* button : box->buttons()) {
            buttons << button->text();
        }
        box->findChild<QPushButton*>(QStringLiteral("btnShowResults"))->click();
    });
    press.start(10);
    const int answer = dialogs.MessageBox(
        nullptr, QStringLiteral("情報の取得が完了しました。\n保存したファイルを開きますか？"),
        QStringLiteral("処理確認"), kMbYesNo | kMbIconQuestion | kMbResultsButton, QString(), {});
    QCOMPARE(answer, kIdShowResults);
    QVERIFY(buttons.contains(QStringLiteral("結果を表示")));
    QCOMPARE(buttons.size(), 3);
}

void TestResultsWindow::runShowsItsResultsWithTheChangesSinceAnEarlierFile() {
    const test::PortalProcess portal({.extraArgs = {"--courses-per-prefecture", "6"}});
    WindowFixture& f = fixture();
    TFrmMain& window = f.CreateShown(SettingsFor(portal));
    QSignalSpy finished(&window, &TFrmMain::runFinished);
    f.Dialogs().AnswerMessage(kIdShowResults);
    TickAndStart(f, {kChiba}, QStringLiteral("chiba.jsonl"), kJsonLinesType);
    QVERIFY(WaitFor([&finished] { return finished.count() == 1; }));

    TResultsWindow* results = window.resultsWindow();
    QVERIFY(results != nullptr);
    QVERIFY(results->isVisible());
    QVERIFY(results->isWindow());
    QTableView* view = results->view();
    QAbstractItemModel& model = *view->model();
    QCOMPARE(model.rowCount(), 6);
    QCOMPARE(results->summaryLabel()->text(), QStringLiteral("比較なし"));

    // The earlier run: one course not yet listed, one rated otherwise, one
    // that the portal no longer lists, and the rest in another order.
    std::vector<CourseEntry> courses;
    std::string error;
    QVERIFY2(ReadOutputFile(f.DataFolder() / "chiba.jsonl", courses, error), error.c_str());
    std::vector<CourseEntry> earlier(courses.rbegin(), courses.rend());
    const QString added = QString::fromStdString(AnsiToUTF8(earlier.front().record[kColumnName]));
    earlier.erase(earlier.begin());
    // A course with a rating is rated otherwise.
    std::size_t changed = 0;
    while (changed + 1 < earlier.size() && earlier[changed].record[kColumnRating].empty()) {
        ++changed;
    }
    const std::string rating = earlier[changed].record[kColumnRating];
    earlier[changed].record[kColumnRating] = rating == "1.5" ? "2.5" : "1.5";
    const QString rerated =
        QString::fromStdString(AnsiToUTF8(earlier[changed].record[kColumnName]));
    CourseEntry gone = earlier[changed == 2 ? 3 : 2];
    gone.record[kColumnName] = UTF8ToAnsi("ＲＩＶＥＲ閉場ゴルフ倶楽部");
    gone.record[kColumnDetailUrl] += "999";
    earlier.push_back(gone);
    const std::filesystem::path earlierFile = f.DataFolder() / "earlier.xlsx";
    WrittenWorkbook workbook;
    QVERIFY2(WriteWorkbook(earlierFile, earlier, workbook, error), error.c_str());
    QVERIFY(!PutWorkbookInPlace(workbook, earlierFile));

    QVERIFY(results->CompareWith(earlierFile));
    QCOMPARE(results->summaryLabel()->text(),
             QStringLiteral("新規 1・掲載終了 1・閉鎖 0・評価変動 1・取得できず 0"));
    QCOMPARE(model.rowCount(), 7);
    QCOMPARE(RowsColoured(model, TResultsModel::MarkColour(results::ChangeMark::New)),
             QStringList{added});
    QCOMPARE(RowsColoured(model, TResultsModel::MarkColour(results::ChangeMark::Gone)),
             QStringList{QStringLiteral("ＲＩＶＥＲ閉場ゴルフ倶楽部")});
    QCOMPARE(RowsColoured(model, TResultsModel::MarkColour(results::ChangeMark::Changed)),
             QStringList{rerated});
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex cell = model.index(row, kColumnRating);
        if (model.index(row, kColumnName).data().toString() == rerated) {
            QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(),
                     TResultsModel::ChangedCellColour());
            QCOMPARE(cell.data(Qt::ToolTipRole).toString(),
                     QStringLiteral("前回: ") +
                         QString::fromStdString(earlier[changed].record[kColumnRating]));
        }
    }

    // Only the changes, then a search typed into the box (full-width in the
    // name).
    QSignalSpy filtered(results, &TResultsWindow::filtered);
    results->findChild<QCheckBox*>(QStringLiteral("chkChangesOnly"))->setChecked(true);
    QCOMPARE(model.rowCount(), 3);
    QTest::keyClicks(results->findChild<QLineEdit*>(QStringLiteral("edtSearch")),
                     QStringLiteral("river"));
    QVERIFY(WaitFor([&filtered] { return filtered.count() >= 2; }));
    QTRY_COMPARE(model.rowCount(), 1);
    if (const QByteArray picture = qgetenv("TEEBASKET_RESULTS_SCREENSHOT"); !picture.isEmpty()) {
        QTest::keyClick(results->findChild<QLineEdit*>(QStringLiteral("edtSearch")), Qt::Key_A,
                        Qt::ControlModifier);
        QTest::keyClick(results->findChild<QLineEdit*>(QStringLiteral("edtSearch")),
                        Qt::Key_Backspace);
        QTRY_COMPARE(model.rowCount(), 3);
        results->resize(1100, 360);
        view->resizeColumnsToContents();
        QVERIFY(results->grab().save(QString::fromLocal8Bit(picture)));
        QTest::keyClicks(results->findChild<QLineEdit*>(QStringLiteral("edtSearch")),
                         QStringLiteral("river"));
        QTRY_COMPARE(model.rowCount(), 1);
    }

    // A double click opens the course's detail page.
    QList<QUrl> opened;
    results->SetUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    emit view->doubleClicked(model.index(0, kColumnName));
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0].toString().toStdString(), gone.record[kColumnDetailUrl]);

    // The filtered view saved as a workbook holds the one row.
    results->findChild<QCheckBox*>(QStringLiteral("chkChangesOnly"))->setChecked(false);
    QTRY_COMPARE(model.rowCount(), 1);
    f.Dialogs().AnswerSave(f.FilePath("gone.xlsx"), kWorkbookType);
    results->findChild<QPushButton*>(QStringLiteral("btnSave"))->click();
    std::vector<CourseEntry> saved;
    QVERIFY2(ReadOutputFile(f.DataFolder() / "gone.xlsx", saved, error), error.c_str());
    QCOMPARE(saved.size(), std::size_t{1});
    QCOMPARE(saved[0].record[kColumnName], gone.record[kColumnName]);

    // A file that is not an output is said, and the table stays.
    WriteBytes(f.DataFolder() / "notes.txt", "hello\n");
    f.Dialogs().AnswerMessage(kIdOk);
    QVERIFY(!results->OpenFile(f.DataFolder() / "notes.txt"));
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(f.Dialogs().Messages().back().text.startsWith(
        QStringLiteral("取得結果を読み込めませんでした。")));

    // The context menu's entry shows the window again, on the run's file.
    results->close();
    QCOMPARE(window.resultsAction()->text(), QStringLiteral("取得結果(&K)..."));
    QVERIFY(window.actions().contains(window.resultsAction()));
    window.resultsAction()->trigger();
    QVERIFY(results->isVisible());
    QCOMPARE(window.resultsWindow(), results);
    QCOMPARE(model.rowCount(), 6);
}

QTEST_MAIN(TestResultsWindow)
#include "tst_results_window.moc"
