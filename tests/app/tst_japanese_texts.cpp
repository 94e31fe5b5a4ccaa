// The texts that Qt itself shows read Japanese: the buttons of the window's
// message boxes, the save dialog and its overwrite question, with Qt's
// catalogue qtbase_ja and, should it be missing, with the window's own texts.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <memory>

#include "TestSupport.h"
#include "Zererav.h"

using namespace teebasket;

namespace {

// The folder as Qt names it. The project's own TempDir, not QTemporaryDir,
// which crashes under Wine in the static Qt for Windows.
QString PathOf(const test::TempDir& folder) {
    return QString::fromStdU16String(folder.path().u16string());
}

// A button's text as the user reads it: "はい(&Y)" reads "はい".
QString Shown(const QString& text) {
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)"));
    QString shown = text;
    shown.remove(mnemonic);
    return shown.remove(u'&');
}

QStringList ButtonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons()) {
        texts << Shown(button->text());
    }
    texts.sort();
    return texts;
}

// Texts of `dialog`'s visible labels, buttons and tool tips that hold
// latin letters, other than a mnemonic such as "(&N)" and the filter's name.
QStringList EnglishTexts(const QWidget& dialog) {
    QStringList english;
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    const auto check = [&english](const QString& text) {
        QString rest = Shown(text);
        for (const QString& filter : OutputTypeFilters()) {
            rest.remove(filter);
        }
        if (rest.contains(latin)) {
            english << text;
        }
    };
    for (const QWidget* widget : dialog.findChildren<QWidget*>()) {
        if (!widget->isVisible()) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            check(label->text());
        }
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            check(button->text());
        }
        check(widget->toolTip());
    }
    return english;
}

TSaveDialogRequest WindowSaveRequest() {
    return TSaveDialogRequest{QStringLiteral("取得情報の保存先を指定してください"),
                              OutputTypeFilters(), QStringLiteral("ゴルフ場一覧.csv")};
}

// Runs `action`, which opens a modal message box, and returns a copy of what
// the box showed after answering it with its No (or only) button.
struct ShownBox {
    QString title;
    QString text;
    QStringList buttons;
};

ShownBox AnswerNextBox(const std::function<void()>& action) {
    ShownBox shown;
    QTimer poll;
    int polls = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (++polls > 3000) {  // a generous deadline: no box came
                poll.stop();
            }
            return;
        }
        poll.stop();
        shown = ShownBox{box->windowTitle(), box->text(), ButtonTexts(*box)};
        QAbstractButton* no = box->button(QMessageBox::No);
        (no != nullptr ? no : box->buttons().constFirst())->click();
    });
    poll.start(10);
    action();
    return shown;
}

}  // namespace

class TestJapaneseTexts : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();

    void messageBoxButtonsReadJapanese();
    void resumeQuestionAndDetailsReadJapanese();
    void saveDialogOffersTheFormatsAndFollowsTheChosenType();
    void saveDialogReadsJapanese();
    void saveDialogOverwriteQuestionReadsJapanese();
    void windowSaveDialogOffersTheLastChoiceAndAsksNothing();
    void saveDialogTypeColumnReadsJapanese();
    void ownTextsAloneKeepBoxesAndDialogJapanese();
};

void TestJapaneseTexts::initTestCase() {
    QVERIFY2(InstallJapaneseTranslations(*qApp),
             "qtbase_ja not found (Debian package qt6-translations-l10n)");
    QCOMPARE(QLocale().language(), QLocale::Japanese);
}

void TestJapaneseTexts::messageBoxButtonsReadJapanese() {
    const std::unique_ptr<QMessageBox> question =
        BuildMessageBox(nullptr, QStringLiteral("取得処理を中断します。\nよろしいですか？"),
                        QStringLiteral("中断確認"), kMbYesNo | kMbIconQuestion | kMbTopmost);
    QCOMPARE(ButtonTexts(*question),
             (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));

    const std::unique_ptr<QMessageBox> notice =
        BuildMessageBox(nullptr, QStringLiteral("該当する情報は見つかりませんでした。"),
                        QStringLiteral("検索終了"), kMbOk | kMbIconInformation | kMbTopmost);
    QCOMPARE(ButtonTexts(*notice), QStringList{QStringLiteral("OK")});

    QMessageBox withCancel(QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("?"),
                           QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(ButtonTexts(withCancel),
             (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
}

void TestJapaneseTexts::resumeQuestionAndDetailsReadJapanese() {
    const std::unique_ptr<QMessageBox> question =
        BuildMessageBox(nullptr, QStringLiteral("前回の続きから取得しますか？"),
                        QStringLiteral("再開確認"), kMbYesNoCancel | kMbIconQuestion | kMbTopmost);
    QCOMPARE(ButtonTexts(*question), (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい"),
                                                  QStringLiteral("キャンセル")}));
    QCOMPARE(question->defaultButton(), question->button(QMessageBox::Yes));
    QCOMPARE(question->escapeButton(), question->button(QMessageBox::Cancel));
    QCOMPARE(MessageBoxAnswer(QMessageBox::Cancel), kIdCancel);
    QCOMPARE(MessageBoxAnswer(QMessageBox::Yes), kIdYes);
    // The window's question names its answers; Enter continues.
    const flow::Message resume = flow::ResumeQuestion();
    const std::unique_ptr<QMessageBox> named = BuildMessageBox(
        nullptr, QString(), QString(), MessageBoxFlags(resume), QString(),
        {QStringLiteral("続きから"), QStringLiteral("最初から"), QStringLiteral("キャンセル")});
    QStringList names{QStringLiteral("続きから"), QStringLiteral("最初から"),
                      QStringLiteral("キャンセル")};
    names.sort();
    QCOMPARE(ButtonTexts(*named), names);
    QCOMPARE(named->defaultButton()->text(), QStringLiteral("続きから"));

    // The pages not read are behind the box's details button.
    const std::unique_ptr<QMessageBox> notice = BuildMessageBox(
        nullptr, QStringLiteral("情報の取得が完了しました。"), QStringLiteral("処理確認"),
        kMbYesNo | kMbIconQuestion | kMbDefButton2, QStringLiteral("北海道の一覧: HTTP 404"));
    QCOMPARE(notice->detailedText(), QStringLiteral("北海道の一覧: HTTP 404"));
    notice->show();
    QVERIFY(QTest::qWaitForWindowExposed(notice.get()));
    const QStringList english = EnglishTexts(*notice);
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
    notice->hide();
}

void TestJapaneseTexts::saveDialogOffersTheFormatsAndFollowsTheChosenType() {
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, WindowSaveRequest());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QStringList offered;
    for (int i = 0; i < types->count(); ++i) {
        offered << types->itemText(i);
    }
    QCOMPARE(offered, OutputTypeFilters());
    QCOMPARE(types->currentIndex(), 0);
    // The user picks the workbook: the name offered follows.
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    QTest::keyClick(types, Qt::Key_Down);
    QCOMPARE(types->currentIndex(), 2);
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
             QStringLiteral("ゴルフ場一覧.xlsx"));
    QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Excelブック (*.xlsx)"));
}

void TestJapaneseTexts::saveDialogReadsJapanese() {
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, WindowSaveRequest());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("取得情報の保存先を指定してください"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lookInLabel"))->text(),
             QStringLiteral("アドレス:"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text(),
             QStringLiteral("ファイル名(&N):"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("fileTypeLabel"))->text(),
             QStringLiteral("ファイルの種類:"));
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QCOMPARE(Shown(buttons->button(QDialogButtonBox::Save)->text()), QStringLiteral("保存"));
    QCOMPARE(Shown(buttons->button(QDialogButtonBox::Cancel)->text()),
             QStringLiteral("キャンセル"));
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
             QStringLiteral("ゴルフ場一覧.csv"));
    QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText(),
             QStringLiteral("CSVファイル (*.csv)"));
    const QStringList english = EnglishTexts(*dialog);
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
}

void TestJapaneseTexts::saveDialogOverwriteQuestionReadsJapanese() {
    const teebasket::test::TempDir folder;
    QFile earlier(QDir(PathOf(folder)).filePath(QStringLiteral("ゴルフ場一覧.csv")));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, WindowSaveRequest());
    dialog->setDirectory(PathOf(folder));
    dialog->selectFile(QStringLiteral("ゴルフ場一覧.csv"));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    const ShownBox shown =
        AnswerNextBox([&dialog] { QMetaObject::invokeMethod(dialog.get(), "accept"); });
    QCOMPARE(shown.title, QStringLiteral("取得情報の保存先を指定してください"));
    QCOMPARE(shown.text, QStringLiteral("ゴルフ場一覧.csv は既に存在します。\n置き換えますか?"));
    QCOMPARE(shown.buttons, (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
    // No keeps the dialog open.
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->result(), 0);
}

// The window's save dialog opens on the last file and type, and takes an
// existing file without a question of its own (the window asks after 再開確認).
void TestJapaneseTexts::windowSaveDialogOffersTheLastChoiceAndAsksNothing() {
    const teebasket::test::TempDir folder;
    const QString earlier =
        QDir::fromNativeSeparators(PathOf(folder)) + QStringLiteral("/関東.xlsx");
    QFile file(earlier);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    TSaveDialogRequest request = WindowSaveRequest();
    request.fileName = earlier;
    request.filter = 2;
    request.confirmOverwrite = false;
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, request);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));

    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(PathOf(folder)).canonicalPath());
    QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
             QStringLiteral("関東.xlsx"));
    QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Excelブック (*.xlsx)"));
    QMetaObject::invokeMethod(dialog.get(), "accept");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->selectedFiles(), QStringList{earlier});
}

void TestJapaneseTexts::saveDialogTypeColumnReadsJapanese() {
    // Qt's catalogue has no word for a folder's type; the window supplies it.
    const teebasket::test::TempDir folder;
    QVERIFY(QDir(PathOf(folder)).mkdir(QStringLiteral("過去の一覧")));
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, WindowSaveRequest());
    dialog->setDirectory(PathOf(folder));
    dialog->setViewMode(QFileDialog::Detail);
    dialog->show();
    auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    QAbstractItemModel* model = view->model();
    QVERIFY(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == 1; }, 30000));
    const QModelIndex row = model->index(0, 0, view->rootIndex());
    QCOMPARE(row.data().toString(), QStringLiteral("過去の一覧"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("タイプ"));
    const QString type = model->index(0, 2, view->rootIndex()).data().toString();
#ifdef _WIN32
    // On Windows the shell names the type in the system's language
    // ("ファイル フォルダー").
    QVERIFY2(type.endsWith(QStringLiteral("フォルダー")), qPrintable(type));
#else
    QCOMPARE(type, QStringLiteral("フォルダー"));
#endif
}

void TestJapaneseTexts::ownTextsAloneKeepBoxesAndDialogJapanese() {
    // Without Qt's catalogue (a portable install that lacks it).
    const QList<QTranslator*> installed = qApp->findChildren<QTranslator*>();
    for (QTranslator* translator : installed) {
        QCoreApplication::removeTranslator(translator);
    }
    const std::unique_ptr<QTranslator> own = CreateOwnJapaneseTexts();
    QCoreApplication::installTranslator(own.get());

    const std::unique_ptr<QMessageBox> question = BuildMessageBox(
        nullptr, QStringLiteral("?"), QStringLiteral("処理確認"), kMbYesNo | kMbDefButton2);
    const QStringList questionButtons = ButtonTexts(*question);
    const std::unique_ptr<QMessageBox> detailed =
        BuildMessageBox(nullptr, QStringLiteral("?"), QStringLiteral("再開確認"),
                        kMbYesNoCancel | kMbIconQuestion, QStringLiteral("一覧"));
    detailed->show();
    const QStringList detailedEnglish = EnglishTexts(*detailed);
    const QStringList detailedButtons = ButtonTexts(*detailed);
    detailed->hide();
    const std::unique_ptr<QFileDialog> dialog = BuildSaveDialog(nullptr, WindowSaveRequest());
    dialog->show();
    const QStringList english = EnglishTexts(*dialog);
    auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    const QString save = Shown(buttons->button(QDialogButtonBox::Save)->text());
    const QString cancel = Shown(buttons->button(QDialogButtonBox::Cancel)->text());
    dialog->hide();

    QCoreApplication::removeTranslator(own.get());
    for (QTranslator* translator : installed) {  // in their first order
        QCoreApplication::installTranslator(translator);
    }
    QCOMPARE(questionButtons, (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい")}));
    QVERIFY2(detailedEnglish.isEmpty(), qPrintable(detailedEnglish.join(QStringLiteral(" | "))));
    QCOMPARE(detailedButtons,
             (QStringList{QStringLiteral("いいえ"), QStringLiteral("はい"),
                          QStringLiteral("キャンセル"), QStringLiteral("詳細を表示...")}));
    QCOMPARE(save, QStringLiteral("保存"));
    QCOMPARE(cancel, QStringLiteral("キャンセル"));
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral(" | "))));
}

QTEST_MAIN(TestJapaneseTexts)
#include "tst_japanese_texts.moc"
