// The window as the user first sees it, the prefecture list with its
// select-all box, and golf.ini.
#include <QAction>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

#include <algorithm>

#include "WindowTestSupport.h"

using namespace teebasket;
using namespace teebasket::testing;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

const QString kTwoIdeographicSpaces = QStringLiteral("\u3000\u3000");

QByteArray AreaLine(const QByteArray& value) {
    return "[Config]\r\nArea=" + value + "\r\n";
}

QByteArray Repeat(char c, int count) {
    return QByteArray(count, c);
}

// The designed face, or one of the Japanese Gothic faces that the window
// substitutes for it where it is not installed (Qt keeps substitutes in
// lower case).
bool IsJapaneseGothic(const QString& family, const QString& designed) {
    return family == designed || QFont::substitutes(designed).contains(family, Qt::CaseInsensitive);
}

// Every character of `text` has a glyph in the font the widget resolves to.
bool RendersEveryCharacter(const QWidget* widget, const QString& text) {
    const QFontMetrics metrics(widget->font());
    for (const QChar c : text) {
        if (c != u'&' && !metrics.inFont(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

class TestWindowSelection : public WindowTestCase {
    Q_OBJECT

  private slots:
    void windowHasTheDesignedShape();
    void controlsHaveTheirDesignedLayoutAndState();
    void everyTextRendersInAJapaneseGothicFace();
    void tabOrderFollowsTheDesign();

    void selectAllTicksAndClearsEveryRow();
    void tickingTheLastRowChecksTheBoxWithoutTouchingRows();
    void untickingARowClearsTheBoxAndKeepsTheOtherTicks();
    void selectAllRowCountsTheTicksAndTheMenuTicksARegion();

    void loadSettings_data();
    void loadSettings();
    void everyRowTickedChecksTheBoxAndFocusesTheList();
    void settingsAreLoadedOnlyOnceAfterTheFirstShow();

    void closingTheIdleWindowSavesTheTicksAndKeepsOtherLines();
    void savingWritesExactlyOneCharacterPerRow();
    void missingDataFolderWritesNothing();
    void unwritableSettingsFileIsReportedAndTheWindowStillCloses();
};

void TestWindowSelection::windowHasTheDesignedShape() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    QCOMPARE(window.windowTitle(), QStringLiteral("Teebasket"));
    QCOMPARE(window.size(), QSize(307, 235));
    QCOMPARE(window.minimumSize(), QSize(307, 235));
    QCOMPARE(window.maximumSize(), QSize(307, 235));
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QCOMPARE(window.pos(), QPoint(0, 0));
    QCOMPARE(window.outputPath(), QString());
    QVERIFY(window.thread() == nullptr);
}

void TestWindowSelection::controlsHaveTheirDesignedLayoutAndState() {
    WindowFixture& fixture = this->fixture();
    fixture.Create();  // not shown: the state before the settings are loaded

    // The box's caption ends with the count of ticked rows; it widens for it
    // at most up to the buttons.
    QCOMPARE(fixture.chkArea()->pos(), QPoint(11, 10));
    QCOMPARE(fixture.chkArea()->height(), 17);
    QVERIFY(fixture.chkArea()->width() >= 119);
    QVERIFY(fixture.chkArea()->geometry().right() < fixture.btnAction()->x());
    QCOMPARE(fixture.chkArea()->text(), QStringLiteral(" 都道府県の選択 : 0/47"));
    QVERIFY(!fixture.chkArea()->isChecked());

    QCOMPARE(fixture.lstArea()->geometry(), QRect(8, 30, 145, 197));
    QCOMPARE(fixture.lstArea()->count(), 47);
    QCOMPARE(fixture.lstArea()->item(0)->text(), QStringLiteral("北海道"));
    QCOMPARE(fixture.lstArea()->item(12)->text(), QStringLiteral("東京都"));
    QCOMPARE(fixture.lstArea()->item(46)->text(), QStringLiteral("沖縄県"));
    QVERIFY(fixture.TickedRows().empty());
    QCOMPARE(fixture.lstArea()->currentRow(), -1);
    QCOMPARE(fixture.lstArea()->font().pixelSize(), 13);
    QCOMPARE(fixture.lstArea()->sizeHintForRow(0), 16);
    QVERIFY(!fixture.lstArea()->testAttribute(Qt::WA_InputMethodEnabled));

    QCOMPARE(fixture.btnAction()->geometry(), QRect(160, 30, 140, 32));
    QCOMPARE(fixture.btnAction()->text(), QStringLiteral("取得開始 (&R)"));
    QVERIFY(fixture.btnAction()->isEnabled());

    QCOMPARE(fixture.btnCancel()->geometry(), QRect(160, 64, 140, 32));
    QCOMPARE(fixture.btnCancel()->text(), QStringLiteral("キャンセル (&C)"));
    QVERIFY(!fixture.btnCancel()->isEnabled());

    QCOMPARE(fixture.prgBar()->geometry(), QRect(158, 212, 143, 15));
    QVERIFY(fixture.prgBar()->isHidden());
    QCOMPARE(fixture.prgBar()->value(), 0);

    // The lower line names the portal while the window is idle (here none is
    // set); it keeps its right edge.
    QCOMPARE(fixture.lblStatus()->geometry().right() + 1, 301);
    QCOMPARE(fixture.lblStatus()->y(), 199);
    QCOMPARE(fixture.lblStatus()->text(), QStringLiteral("接続先: "));
    // The upper line says how to change the portal.
    QCOMPARE(fixture.lblStatus2()->geometry().right() + 1, 301);
    QCOMPARE(fixture.lblStatus2()->y(), 183);
    QCOMPARE(fixture.lblStatus2()->text(), QStringLiteral("右クリックで接続先設定"));
    QVERIFY(fixture.lblStatus()->alignment() & Qt::AlignRight);
    QCOMPARE(fixture.lblStatus2()->palette().color(QPalette::WindowText), QColor(Qt::black));
}

void TestWindowSelection::everyTextRendersInAJapaneseGothicFace() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    QCOMPARE(window.font().pixelSize(), 12);
    const QList<QWidget*> widgets{fixture.chkArea(),   fixture.lstArea(),   fixture.btnAction(),
                                  fixture.btnCancel(), fixture.lblStatus(), fixture.lblStatus2()};
    const QString designed = window.font().family();
    QVERIFY2(QFont::substitutes(designed).size() >= 2, qPrintable(designed));
    for (QWidget* widget : widgets) {
        const QString family = QFontInfo(widget->font()).family();
        QVERIFY2(IsJapaneseGothic(family, designed),
                 qPrintable(widget->objectName() + QStringLiteral(": ") + family));
    }
    QVERIFY(RendersEveryCharacter(fixture.chkArea(), fixture.chkArea()->text()));
    QVERIFY(RendersEveryCharacter(fixture.btnAction(), fixture.btnAction()->text()));
    QVERIFY(RendersEveryCharacter(fixture.btnCancel(), fixture.btnCancel()->text()));
    QVERIFY(RendersEveryCharacter(fixture.lblStatus(),
                                  QStringLiteral("ページ情報を取得中...ゴルフ場情報 : 件")));
    for (int row = 0; row < fixture.lstArea()->count(); ++row) {
        QVERIFY(RendersEveryCharacter(fixture.lstArea(), fixture.lstArea()->item(row)->text()));
    }
}

void TestWindowSelection::tabOrderFollowsTheDesign() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    fixture.chkArea()->setFocus();
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int step = 0; step < 3; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }
    // Cancel is disabled and the progress bar hidden while idle.
    QCOMPARE(order, (QStringList{"chkArea", "lstArea", "btnAction", "chkArea"}));
}

void TestWindowSelection::selectAllTicksAndClearsEveryRow() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    QVERIFY(window.settingsLoaded());
    fixture.btnAction()->setFocus();

    QTest::mouseClick(fixture.chkArea(), Qt::LeftButton);
    QVERIFY(fixture.chkArea()->isChecked());
    QCOMPARE(fixture.TickedRows().size(), std::size_t{47});
    QCOMPARE(window.focusWidget(), fixture.lstArea());

    QTest::mouseClick(fixture.chkArea(), Qt::LeftButton);
    QVERIFY(!fixture.chkArea()->isChecked());
    QVERIFY(fixture.TickedRows().empty());
}

void TestWindowSelection::tickingTheLastRowChecksTheBoxWithoutTouchingRows() {
    WindowFixture& fixture = this->fixture();
    fixture.CreateShown();
    for (int row = 0; row < 47; ++row) {
        if (row != 30) {
            fixture.ToggleByUser(row);
        }
    }
    QCOMPARE(fixture.TickedRows().size(), std::size_t{46});
    QVERIFY(!fixture.chkArea()->isChecked());

    fixture.ToggleByUser(30);
    QVERIFY(fixture.chkArea()->isChecked());
    QCOMPARE(fixture.TickedRows().size(), std::size_t{47});
    QCOMPARE(fixture.lstArea()->currentRow(), 30);
}

void TestWindowSelection::untickingARowClearsTheBoxAndKeepsTheOtherTicks() {
    WindowFixture& fixture = this->fixture();
    fixture.CreateShown();
    fixture.chkArea()->click();
    QCOMPARE(fixture.TickedRows().size(), std::size_t{47});

    fixture.ToggleByUser(5);
    QVERIFY(!fixture.chkArea()->isChecked());
    // Clearing the box quietly must not clear the rows with it.
    const std::vector<int> ticked = fixture.TickedRows();
    QCOMPARE(ticked.size(), std::size_t{46});
    QVERIFY(std::find(ticked.begin(), ticked.end(), 5) == ticked.end());
}

void TestWindowSelection::selectAllRowCountsTheTicksAndTheMenuTicksARegion() {
    WindowFixture& fixture = this->fixture();
    WriteBytes(fixture.IniPath(), AreaLine("0000000000001"));
    TFrmMain& window = fixture.CreateShown();
    const auto caption = [&fixture] { return fixture.chkArea()->text(); };
    QCOMPARE(caption(), QStringLiteral(" 都道府県の選択 : 1/47"));
    fixture.ToggleByUser(0);
    QCOMPARE(caption(), QStringLiteral(" 都道府県の選択 : 2/47"));

    // The list's menu: the seven regions, then the window's own entry.
    const QList<QAction*> menu = fixture.lstArea()->actions();
    QCOMPARE(fixture.lstArea()->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList names;
    for (QAction* action : window.regionActions()) {
        names << action->text();
    }
    QCOMPARE(names,
             (QStringList{"北海道・東北", "関東", "中部", "近畿", "中国", "四国", "九州・沖縄"}));
    QCOMPARE(menu.size(), 9);
    QVERIFY(menu.at(7)->isSeparator());
    QCOMPARE(menu.at(8), window.portalSettingsAction());

    // 関東 ticks its seven rows (東京都 was ticked already) and is marked;
    // chosen again, it clears them.
    QAction* kanto = window.regionActions().at(1);
    kanto->trigger();
    QCOMPARE(fixture.TickedRows(), (std::vector<int>{0, 7, 8, 9, 10, 11, 12, 13}));
    QCOMPARE(caption(), QStringLiteral(" 都道府県の選択 : 8/47"));
    QVERIFY(kanto->isChecked());
    fixture.ToggleByUser(12);
    QVERIFY(!kanto->isChecked());
    kanto->trigger();
    QVERIFY(kanto->isChecked());
    kanto->trigger();
    QCOMPARE(fixture.TickedRows(), std::vector<int>{0});
    QVERIFY(!kanto->isChecked());

    // Every region ticked is every row: the select-all box follows.
    for (QAction* region : window.regionActions()) {
        if (!region->isChecked()) {
            region->trigger();
        }
    }
    QVERIFY(fixture.chkArea()->isChecked());
    QCOMPARE(caption(), QStringLiteral(" 都道府県の選択 : 47/47"));
    fixture.chkArea()->click();
    QCOMPARE(caption(), QStringLiteral(" 都道府県の選択 : 0/47"));
    QVERIFY(!window.regionActions().at(0)->isChecked());
}

void TestWindowSelection::loadSettings_data() {
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<std::vector<int>>("ticked");
    QTest::addColumn<int>("highlighted");

    QTest::newRow("no file") << false << QByteArray() << std::vector<int>{} << 0;
    QTest::newRow("one 1 ticks Hokkaido") << true << AreaLine("1") << std::vector<int>{0} << 0;
    QTest::newRow("short value ticks Tokyo")
        << true << AreaLine(Repeat('0', 12) + "1") << std::vector<int>{12} << 12;
    QTest::newRow("first ticked row is highlighted")
        << true << AreaLine(Repeat('0', 40) + "101") << std::vector<int>{40, 42} << 40;
    QTest::newRow("other characters tick nothing")
        << true << AreaLine("2aX -0") << std::vector<int>{} << 0;
    QTest::newRow("only a 1 ticks, among other characters")
        << true << AreaLine("2a 01y1") << std::vector<int>{4, 6} << 4;
    QTest::newRow("characters after the 47th are ignored")
        << true << AreaLine(Repeat('0', 46) + "1" + Repeat('1', 20)) << std::vector<int>{46} << 46;
    QTest::newRow("empty value") << true << AreaLine("") << std::vector<int>{} << 0;
    QTest::newRow("no Config section")
        << true << QByteArray("[Other]\r\nArea=111\r\n") << std::vector<int>{} << 0;
    QTest::newRow("empty file") << true << QByteArray() << std::vector<int>{} << 0;
    QTest::newRow("names in other case, LF line ends")
        << true << QByteArray("[config]\narea=01\n") << std::vector<int>{1} << 1;
    QTest::newRow("not an INI file at all")
        << true << QByteArray("\x00\xff\xfe garbage\n=\n[", 16) << std::vector<int>{} << 0;
}

void TestWindowSelection::loadSettings() {
    QFETCH(bool, fileExists);
    QFETCH(QByteArray, content);
    QFETCH(std::vector<int>, ticked);
    QFETCH(int, highlighted);

    WindowFixture& fixture = this->fixture();
    if (fileExists) {
        WriteBytes(fixture.IniPath(), content);
    }
    TFrmMain& window = fixture.CreateShown();
    QVERIFY(window.settingsLoaded());
    QCOMPARE(fixture.TickedRows(), ticked);
    QCOMPARE(fixture.lstArea()->currentRow(), highlighted);
    QVERIFY(!fixture.chkArea()->isChecked());
    QCOMPARE(fixture.Dialogs().Calls().size(), std::size_t{0});
}

void TestWindowSelection::everyRowTickedChecksTheBoxAndFocusesTheList() {
    WindowFixture& fixture = this->fixture();
    WriteBytes(fixture.IniPath(), AreaLine(Repeat('1', 47)));
    TFrmMain& window = fixture.CreateShown();
    QVERIFY(window.settingsLoaded());
    QCOMPARE(fixture.TickedRows().size(), std::size_t{47});
    QVERIFY(fixture.chkArea()->isChecked());
    QCOMPARE(fixture.lstArea()->currentRow(), 0);
    QCOMPARE(window.focusWidget(), fixture.lstArea());
}

void TestWindowSelection::settingsAreLoadedOnlyOnceAfterTheFirstShow() {
    WindowFixture& fixture = this->fixture();
    WriteBytes(fixture.IniPath(), AreaLine("1"));
    TFrmMain& window = fixture.Create();
    QVERIFY(!window.settingsLoaded());
    window.show();
    // Posted, so nothing is loaded while the show itself runs.
    QVERIFY(fixture.TickedRows().empty());
    QTRY_VERIFY(window.settingsLoaded());
    QCOMPARE(fixture.TickedRows(), std::vector<int>{0});

    fixture.ToggleByUser(0);  // the user clears it
    window.hide();
    window.show();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(fixture.TickedRows().empty());
}

void TestWindowSelection::closingTheIdleWindowSavesTheTicksAndKeepsOtherLines() {
    WindowFixture& fixture = this->fixture();
    const QByteArray original =
        ReadBytes(std::filesystem::path(TEEBASKET_TEST_DATA_DIR) / "app/golf-other-sections.ini");
    QVERIFY(original.contains("Area=1\r\n"));
    WriteBytes(fixture.IniPath(), original);
    TFrmMain& window = fixture.CreateShown();
    QCOMPARE(fixture.TickedRows(), std::vector<int>{0});
    fixture.ToggleByUser(0);
    fixture.ToggleByUser(12);
    fixture.ToggleByUser(46);

    QVERIFY(window.close());
    QByteArray expected = original;
    expected.replace("Area=1\r\n", "Area=" + Repeat('0', 12) + "1" + Repeat('0', 33) + "1\r\n");
    QCOMPARE(ReadBytes(fixture.IniPath()), expected);
    QCOMPARE(fixture.Dialogs().Calls().size(), std::size_t{0});
}

void TestWindowSelection::savingWritesExactlyOneCharacterPerRow() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    window.SaveSettings();
    QCOMPARE(ReadArea(fixture.IniPath()), Repeat('0', 47));

    fixture.chkArea()->click();
    window.SaveSettings();
    QCOMPARE(ReadArea(fixture.IniPath()), Repeat('1', 47));
}

void TestWindowSelection::missingDataFolderWritesNothing() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    std::filesystem::remove_all(fixture.DataFolder());
    QVERIFY(window.close());
    QVERIFY(!std::filesystem::exists(fixture.DataFolder()));
    QCOMPARE(fixture.Dialogs().Calls().size(), std::size_t{0});
}

void TestWindowSelection::unwritableSettingsFileIsReportedAndTheWindowStillCloses() {
    WindowFixture& fixture = this->fixture();
    TFrmMain& window = fixture.CreateShown();
    // A folder where the file should be: no write can replace it, even as root.
    std::filesystem::create_directories(fixture.IniPath() / "held");
    fixture.Dialogs().AnswerMessage(kIdOk);

    QVERIFY(window.close());
    const std::vector<DialogCall> messages = fixture.Dialogs().Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].caption, QStringLiteral("Error"));
    // The reason in Japanese, after the file's name.
    QCOMPARE(messages[0].text, QStringLiteral("設定ファイルを保存できませんでした。\n「") +
                                   QString::fromStdString(fixture.IniPath().string()) +
                                   QStringLiteral("」: フォルダーです"));
    QCOMPARE(messages[0].flags, unsigned{kMbOk | kMbIconError | kMbTopmost});
    QVERIFY(std::filesystem::is_directory(fixture.IniPath() / "held"));
}

QTEST_MAIN(TestWindowSelection)
#include "tst_window_selection.moc"
