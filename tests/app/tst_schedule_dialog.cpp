// The dialog 定期取得: opened from the window's context menu, a schedule
// added from the ticked prefectures, its last result shown, its twin name
// refused, and the schedule removed with every trace.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include "ScheduleDialog.h"
#include "ScheduleState.h"
#include "WindowTestSupport.h"
#include "path_text.h"

using namespace teebasket;
using namespace teebasket::testing;

namespace fs = std::filesystem;

class TestScheduleDialog : public WindowTestCase {
    Q_OBJECT

  private slots:
    void contextMenuOpensTheDialog();
    void scheduleIsAddedListedAndRemovedWithEveryTrace();
};

void TestScheduleDialog::contextMenuOpensTheDialog() {
    TFrmMain& window = fixture().CreateShown();
    QVERIFY(window.actions().contains(window.schedulesAction()));
    QString title;
    QTimer::singleShot(0, &window, [&] {
        auto* dialog = window.findChild<TScheduleDialog*>(QStringLiteral("scheduleDialog"));
        if (dialog != nullptr) {
            title = dialog->windowTitle();
            dialog->reject();
        }
    });
    window.schedulesAction()->trigger();
    QCOMPARE(title, QStringLiteral("定期取得"));
}

void TestScheduleDialog::scheduleIsAddedListedAndRemovedWithEveryTrace() {
    WindowFixture& fixture = this->fixture();
#ifndef _WIN32
    // The systemd units go to the test's own folder.
    qputenv("XDG_CONFIG_HOME",
            QByteArray::fromStdString((fixture.DataFolder() / "config").string()));
    const fs::path units = fixture.DataFolder() / "config" / "systemd" / "user";
#endif
    TScheduleContext context;
    context.dataFolder = fixture.DataFolder();
    context.iniFile = fixture.IniPath();
    context.cliProgram = fixture.DataFolder() / "teebasket-cli";
    context.rows = {13, 12};
    context.output = PathText(fixture.DataFolder() / PathFromUtf8("関東"));
    context.registerWithScheduler = false;
    TScheduleDialog dialog(context);
    QCOMPARE(dialog.table()->rowCount(), 0);

    TScheduleAddDialog add(context, {});
    add.accept();  // no name yet
    QVERIFY(add.result() != QDialog::Accepted);
    QCOMPARE(add.problemLabel()->text(), QStringLiteral("定期取得の名前を入れてください"));
    add.nameEdit()->setText(QStringLiteral("kanto"));
    add.cadenceBox()->setCurrentIndex(1);
    add.weekdayBox()->setCurrentIndex(3);
    add.timeEdit()->setTime(QTime(6, 30));
    add.accept();
    QCOMPARE(add.result(), int(QDialog::Accepted));
    QVERIFY(dialog.AddSchedule(add.EnteredSchedule()));
    QVERIFY2(dialog.messageLabel()->text().contains(QStringLiteral("登録はしていません")),
             qPrintable(dialog.messageLabel()->text()));

    QCOMPARE(dialog.table()->rowCount(), 1);
    QCOMPARE(dialog.table()->item(0, 1)->text(), QStringLiteral("毎週 水曜日 06:30"));
    QCOMPARE(dialog.table()->item(0, 2)->text(), QStringLiteral("東京都、神奈川県"));
    QCOMPARE(dialog.table()->item(0, 3)->text().toStdString(),
             PathText(fixture.DataFolder() / PathFromUtf8("関東.csv")));
    const fs::path schedules = schedule::SchedulesFolderIn(fixture.DataFolder());
    QVERIFY(fs::exists(schedule::ScheduleFilePath(schedules, "kanto")));
#ifndef _WIN32
    QVERIFY(fs::exists(units / "teebasket-kanto.timer"));
#endif

    // The scheduled run's last result, an alert in red with its details.
    schedule::ScheduleResult result{
        "2026-12-09T06:31:00+09:00", 10, "40 courses", {schedule::Alert::ManyChanged}, {}};
    std::string problem;
    QVERIFY(schedule::WriteWholeFile(schedule::StateFilePath(schedules, "kanto"),
                                     schedule::ResultFileText(result), problem));
    dialog.Refresh();
    QTableWidgetItem* last = dialog.table()->item(0, 6);
    QCOMPARE(last->text(), QStringLiteral("2026-12-09 06:31 要確認"));
    QCOMPARE(last->foreground().color(), QColor(Qt::red));
    QVERIFY(last->toolTip().contains(
        QString::fromStdString(schedule::AlertText(schedule::Alert::ManyChanged))));

    TScheduleAddDialog twin(context, {"kanto"});
    twin.nameEdit()->setText(QStringLiteral("kanto"));
    twin.accept();
    QVERIFY(twin.result() != QDialog::Accepted);
    QVERIFY(twin.problemLabel()->text().contains(QStringLiteral("すでにあります")));

    QString asked;
    dialog.setConfirm([&](const QString& text) {
        asked = text;
        return true;
    });
    dialog.table()->selectRow(0);
    QPushButton* remove = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("削除(&D)")) {
            remove = button;
        }
    }
    QVERIFY(remove != nullptr && remove->isEnabled());
    remove->click();
    QVERIFY(asked.contains(QStringLiteral("「kanto」")));
    QCOMPARE(dialog.table()->rowCount(), 0);
    QVERIFY(!fs::exists(schedule::ScheduleFilePath(schedules, "kanto")));
    QVERIFY(!fs::exists(schedule::StateFilePath(schedules, "kanto")));
#ifndef _WIN32
    QVERIFY(!fs::exists(units / "teebasket-kanto.timer"));
    QVERIFY(!fs::exists(units / "teebasket-kanto.service"));
#endif
}

QTEST_MAIN(TestScheduleDialog)
#include "tst_schedule_dialog.moc"
