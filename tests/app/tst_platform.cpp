// The platform units and the real message boxes, without running them.
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <memory>

#include "PooledThreads.h"
#include "VistaAltFixUnit.h"
#include "W7Taskbar.h"
#include "Zererav.h"

using namespace teebasket;

class TestPlatform : public QObject {
    Q_OBJECT

  private slots:
    // First: later tests paint, which leaves threads in Qt's global pool.
    void theEndWaitsForPooledThreadsUntilTheyAreGone();
    void taskbarStatesMapToTheWindowsFlags();
    void taskbarSettersReportFalseWithoutAnInterface();
    void taskbarInitialisationIsStable();
    void keyboardCueFixWatchesOnlyThemedWindows();

    void messageBoxes_data();
    void messageBoxes();
    void messageBoxAnswersUseTheWindowsIds();
};

void TestPlatform::theEndWaitsForPooledThreadsUntilTheyAreGone() {
    auto pool = std::make_unique<QThreadPool>();
    QSemaphore started;
    QSemaphore release;
    pool->start([&] {
        started.release();
        release.acquire();
    });
    started.acquire();
    [[maybe_unused]] const bool endedWhileRunning =
        WaitForPooledThreadsToEnd(std::chrono::milliseconds(0));
    release.release();
    pool.reset();  // waits for its thread, which then ends on its own
#ifdef __linux__
    QVERIFY(!endedWhileRunning);  // found by the name Qt gives it
#endif
    QVERIFY(WaitForPooledThreadsToEnd(std::chrono::seconds(30)));
}

void TestPlatform::taskbarStatesMapToTheWindowsFlags() {
    QCOMPARE(TaskbarProgressFlag(tbpsNone), 0u);
    QCOMPARE(TaskbarProgressFlag(tbpsIndeterminate), 1u);
    QCOMPARE(TaskbarProgressFlag(tbpsNormal), 2u);
    QCOMPARE(TaskbarProgressFlag(tbpsError), 4u);
    QCOMPARE(TaskbarProgressFlag(tbpsPaused), 8u);
}

void TestPlatform::taskbarSettersReportFalseWithoutAnInterface() {
    FinalizeTaskbarAPI();
    QVERIFY(!SetTaskbarProgressValue(1, 3));
    QVERIFY(!SetTaskbarProgressState(tbpsNormal));
    QVERIFY(!SetTaskbarProgressState(tbpsNone));
}

void TestPlatform::taskbarInitialisationIsStable() {
    // Whether a desktop bus is there depends on the machine; asking twice
    // must give the same answer, and the setters follow it. A shown window
    // owns the taskbar button.
    QWidget window;
    window.show();
    const bool first = InitializeTaskbarAPI();
    QCOMPARE(InitializeTaskbarAPI(), first);
    QCOMPARE(SetTaskbarProgressValue(2, 4), first);
    QCOMPARE(SetTaskbarProgressState(tbpsNone), first);
    FinalizeTaskbarAPI();
    QVERIFY(!SetTaskbarProgressValue(2, 4));
}

void TestPlatform::keyboardCueFixWatchesOnlyThemedWindows() {
    auto* owner = new QObject;
    QPointer<TVistaAltFix> fix = new TVistaAltFix(owner);
#ifdef _WIN32
    // The native style draws with the system's visual styles.
    QVERIFY(TVistaAltFix::VistaWithTheme());
    QVERIFY(fix->Active());
#else
    QVERIFY(!TVistaAltFix::VistaWithTheme());
    QVERIFY(!fix->Active());
#endif
    QCOMPARE(fix->parent(), owner);
    delete owner;
    QVERIFY(fix.isNull());
}

void TestPlatform::messageBoxes_data() {
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("onTop");
    QTest::newRow("question, topmost (262180)")
        << 262180u << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::Yes)
        << int(QMessageBox::Question) << true;
    QTest::newRow("question, No as default (262436)")
        << 262436u << int(QMessageBox::Yes | QMessageBox::No) << int(QMessageBox::No)
        << int(QMessageBox::Question) << true;
    QTest::newRow("notice, topmost (262208)")
        << 262208u << int(QMessageBox::Ok) << int(QMessageBox::Ok) << int(QMessageBox::Information)
        << true;
    QTest::newRow("notice (64)") << 64u << int(QMessageBox::Ok) << int(QMessageBox::Ok)
                                 << int(QMessageBox::Information) << false;
    QTest::newRow("error, topmost")
        << unsigned{kMbOk | kMbIconError | kMbTopmost} << int(QMessageBox::Ok)
        << int(QMessageBox::Ok) << int(QMessageBox::Critical) << true;
    QTest::newRow("second default without a second button")
        << unsigned{kMbOk | kMbDefButton2} << int(QMessageBox::Ok) << int(QMessageBox::Ok)
        << int(QMessageBox::NoIcon) << false;
}

void TestPlatform::messageBoxes() {
    QFETCH(unsigned, flags);
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(int, icon);
    QFETCH(bool, onTop);

    QWidget owner;
    const QString text = QStringLiteral("取得処理を中断します。\nよろしいですか？ <b>x</b>");
    std::unique_ptr<QMessageBox> box =
        BuildMessageBox(&owner, text, QStringLiteral("中断確認"), flags);
    QCOMPARE(int(box->standardButtons()), buttons);
    QCOMPARE(int(box->standardButton(box->defaultButton())), defaultButton);
    QCOMPARE(int(box->icon()), icon);
    QCOMPARE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
    QCOMPARE(box->windowTitle(), QStringLiteral("中断確認"));
    QCOMPARE(box->text(), text);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->parentWidget(), &owner);
}

void TestPlatform::messageBoxAnswersUseTheWindowsIds() {
    QCOMPARE(MessageBoxAnswer(QMessageBox::Yes), 6);
    QCOMPARE(MessageBoxAnswer(QMessageBox::No), 7);
    QCOMPARE(MessageBoxAnswer(QMessageBox::Ok), 1);
}

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
