// Japanese for the texts that Qt itself shows: Qt's own catalogue, and the
// window's own Japanese where the catalogue has none.
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

#include "Zererav.h"

namespace teebasket {

namespace {

struct OwnText {
    const char* context;
    const char* sourceText;
    const char* disambiguation;  // "" for none
    const char* japanese;        // UTF-8
};

// The first rows are texts that qtbase_ja lacks (the save dialog's type column
// and its invalid-name message). The others repeat what every message box and
// the save dialog show, so that they stay Japanese where Qt's catalogue is not
// installed.
constexpr OwnText kOwnTexts[] = {
    {"QAbstractFileIconProvider", "Folder", "All other platforms", "フォルダー"},
    {"QAbstractFileIconProvider", "File Folder", "Match Windows Explorer", "ファイル フォルダー"},
    {"QAbstractFileIconProvider", "Drive", "", "ドライブ"},
    {"QFileSystemModel",
     "<b>The name \"%1\" cannot be used.</b><p>Try using another name, with fewer characters or "
     "no punctuation marks.",
     "",
     "<b>\"%1\" という名前は使えません。</b><p>文字を減らすか、記号を使わない名前にしてください。"},

    {"QPlatformTheme", "OK", "", "OK"},
    {"QPlatformTheme", "Cancel", "", "キャンセル"},
    {"QPlatformTheme", "&Yes", "", "はい(&Y)"},
    {"QPlatformTheme", "&No", "", "いいえ(&N)"},
    {"QPlatformTheme", "Save", "", "保存"},
    {"QMessageBox", "Show Details...", "", "詳細を表示..."},
    {"QMessageBox", "Hide Details...", "", "詳細を隠す..."},
    {"QFileDialog", "Look in:", "", "保存する場所:"},
    {"QFileDialog", "File &name:", "", "ファイル名(&N):"},
    {"QFileDialog", "Files of type:", "", "ファイルの種類:"},
    {"QFileDialog", "&Save", "", "保存(&S)"},
    // The certificate file's open dialog of "接続先の設定".
    {"QPlatformTheme", "Open", "", "開く"},
    {"QFileDialog", "&Open", "", "開く(&O)"},
    {"QFileDialog", "Back", "", "戻る"},
    {"QFileDialog", "Forward", "", "進む"},
    {"QFileDialog", "Parent Directory", "", "親フォルダー"},
    {"QFileDialog", "Create New Folder", "", "新しいフォルダーの作成"},
    {"QFileDialog", "List View", "", "一覧表示"},
    {"QFileDialog", "Detail View", "", "詳細表示"},
    {"QFileDialog", "%1 already exists.\nDo you want to replace it?", "",
     "%1 は既に存在します。\n上書きしますか？"},
};

bool Same(const char* a, const char* b) {
    return std::strcmp(a != nullptr ? a : "", b) == 0;
}

// Queried after Qt's catalogue: it answers only what the catalogue left open.
class TOwnJapaneseTexts : public QTranslator {
  public:
    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int) const override {
        for (const OwnText& text : kOwnTexts) {
            if (Same(context, text.context) && Same(sourceText, text.sourceText) &&
                Same(disambiguation, text.disambiguation)) {
                return QString::fromUtf8(text.japanese);
            }
        }
        return QString();
    }
};

}  // namespace

std::unique_ptr<QTranslator> CreateOwnJapaneseTexts() {
    return std::make_unique<TOwnJapaneseTexts>();
}

std::unique_ptr<QTranslator> LoadQtJapaneseCatalogue() {
    const QStringList folders{
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        // A portable install carries Qt's catalogues beside the program.
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
        // The Windows build carries the Japanese one inside the program.
        QStringLiteral(":/qt-translations"),
    };
    auto catalogue = std::make_unique<QTranslator>();
    for (const QString& folder : folders) {
        if (catalogue->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                            QStringLiteral("_"), folder)) {
            return catalogue;
        }
    }
    return nullptr;
}

bool InstallJapaneseTranslations(QCoreApplication& application) {
    // Number, date and file-size formats of Qt's dialogs follow the texts.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    // The application owns the translators; the one installed last is asked
    // first, so the window's own texts only fill what Qt's catalogue lacks.
    QTranslator* own = CreateOwnJapaneseTexts().release();
    own->setParent(&application);
    QCoreApplication::installTranslator(own);
    std::unique_ptr<QTranslator> catalogue = LoadQtJapaneseCatalogue();
    if (!catalogue) {
        return false;
    }
    QTranslator* qt = catalogue.release();
    qt->setParent(&application);
    QCoreApplication::installTranslator(qt);
    return true;
}

}  // namespace teebasket
