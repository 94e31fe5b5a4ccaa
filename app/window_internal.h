// Texts and small helpers shared by the source files of the main window.
#pragma once

#include <QString>
#include <filesystem>

#include "Zererav.h"

namespace teebasket::window {

// Window and controls
inline const QString kTitle = QStringLiteral("Teebasket");
inline const QString kFontFamily = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kCaptionStart = QStringLiteral("取得開始 (&R)");
inline const QString kCaptionCancelButton = QStringLiteral("キャンセル (&C)");
inline const QString kCaptionSelectAll = QStringLiteral(" 都道府県の選択 : ");
inline const QString kTwoIdeographicSpaces = QStringLiteral("\u3000\u3000");

// Save dialog
inline const QString kSaveDialogTitle = QStringLiteral("取得情報の保存先を指定してください");
inline const QString kDefaultFileName = QStringLiteral("ゴルフ場一覧.csv");

// Status lines
inline const QString kStatusFetchingPages = QStringLiteral("ページ情報を取得中...");
inline const QString kStatusPrefectureSuffix = QStringLiteral("取得中...");
inline const QString kStatusCoursePrefix = QStringLiteral("ゴルフ場情報 : ");
inline const QString kStatusCourseSuffix = QStringLiteral(" 件");
inline const QString kStatusPortal = QStringLiteral("接続先: %1");
inline const QString kDemoPortal = QStringLiteral("デモポータル");

// Message boxes
inline const QString kCaptionError = QStringLiteral("Error");
inline const QString kCaptionCloseQuestion = QStringLiteral("終了確認");
inline const QString kCaptionCancelQuestion = QStringLiteral("中断確認");
inline const QString kCaptionCompleted = QStringLiteral("処理確認");
inline const QString kCaptionSearchEnded = QStringLiteral("検索終了");
inline const QString kCaptionOverwrite = QStringLiteral("上書き確認");
inline const QString kCaptionResume = QStringLiteral("再開確認");

inline const QString kTextSelectOne = QStringLiteral("都道府県は１つ以上を選択してください。");
inline const QString kTextFileInUse = QStringLiteral(
    "選択されたファイルが他のアプリケーションで使用中の為\n開くことができませんでした。");
inline const QString kTextOverwrite = QStringLiteral("%1 は既に存在します。\n上書きしますか？");
inline const QString kTextCloseQuestion = QStringLiteral("取得処理の実行中ですが終了しますか？");
inline const QString kTextCancelQuestion =
    QStringLiteral("取得処理を中断します。\nよろしいですか？");
inline const QString kTextCompleted =
    QStringLiteral("情報の取得が完了しました。\n保存したファイルを開きますか？");
inline const QString kTextCompletedWithPagesNotRead = QStringLiteral(
    "情報の取得が完了しました。\n"
    "取得できなかったページが %1 件あります。\n"
    "保存したファイルを開きますか？");
inline const QString kTextPagesNotRead = QStringLiteral("取得できなかったページが %1 件あります。");
inline const QString kTextFileMissing = QStringLiteral("該当するファイルが見つかりませんでした。");
inline const QString kTextFileNotOpened = QStringLiteral(
    "保存したファイルを開くプログラムが見つからないため、開くことができませんでした。\n"
    "ファイルは次の場所に保存しました:\n%1");
inline const QString kTextResume = QStringLiteral("前回の続きから取得しますか？");
inline const QString kTextNothingFound = QStringLiteral("該当する情報は見つかりませんでした。");
inline const QString kTextUnreachable = QStringLiteral(
    "サイトへのアクセスができませんでした。\r\nしばらく時間を置いてから再度実行してください。");
inline const QString kTextRunFailed = QStringLiteral("情報の取得中にエラーが発生しました。\n%1");
inline const QString kTextSettingsNotSaved =
    QStringLiteral("設定ファイルを保存できませんでした。\n%1");

// The reason given when the harvest thread ended without its final call.
inline const QString kReasonThreadEnded =
    QStringLiteral("取得処理のスレッドが途中で終了しました。");
inline const QString kReasonUnexpected = QStringLiteral("取得処理で予期しないエラーが発生しました");

// The context menu, and the dialog "接続先の設定"
inline const QString kActionPortalSettings = QStringLiteral("接続先の設定(&P)...");
inline const QString kPortalDialogTitle = QStringLiteral("接続先の設定");
inline const QString kLabelListingHost = QStringLiteral("一覧のホスト (ListingHost):");
inline const QString kLabelBookingHost = QStringLiteral("詳細ページのホスト (BookingHost):");
inline const QString kLabelCaCertificate = QStringLiteral("信頼する証明書 (CACertificate):");
inline const QString kPortalDialogNote = QStringLiteral(
    "ホスト名、または ホスト名:ポート番号 で指定します（常に https で接続します）。\n"
    "空欄の項目には既定の値（灰色の文字）を使います。");
inline const QString kCaptionConnectionTest = QStringLiteral("接続テスト");
inline const QString kTextConnectionTesting = QStringLiteral("%1 に接続しています...");

// What went wrong, in the window's Japanese: a run's failure (what could not
// be done, and to what), and the reason a page could not be read.
QString RunFailureText(const RunFailure& failure, OutputFormat format);
QString PageFailureText(const PageFailure& failure);
QString FetchErrorText(FetchError error);

// Why a run that would continue the file `earlier` did not start: the
// courses of `outside` would be lost.
QString CoursesOutsideText(const CoursesOutside& outside, const std::filesystem::path& earlier);

// The pages that could not be read, one entry per page: the course by name
// where the listing told it (else its identifier) or the prefecture's
// listing, the reason, and the URL. Text from pages is shown with control
// characters escaped.
QString PagesNotReadText(const std::vector<PageFailure>& failures);

// Why `host` cannot stand as the value of `key` (ListingHost, BookingHost).
QString PortalHostText(const QString& key, const QString& host);
// The first problem of `portal`'s hosts, or "".
QString PortalSettingsText(const PortalSettings& portal);

// What a connection test to the listing of `prefecture` (UTF-8) found.
QString ConnectionTestText(const TConnectionTest& test, const QString& prefecture);

// The end of a run that was stopped with its rows kept beside an earlier file.
inline const QString kCaptionStopped = QStringLiteral("中断確認");
inline const QString kTextStoppedPartialKept = QStringLiteral(
    "取得処理を中断しました。\n"
    "取得済みの %1 件は %2 に保存しました。元のファイルは変更していません。\n"
    "同じファイルと都道府県で取得を開始すると、続きから取得できます。");

// Why golf.ini could not be written: the profile writer's reason (English,
// for the rare failures without a system error) and the system's error.
struct SettingsWriteFailure {
    std::filesystem::path file;
    std::string reason;
    std::error_code error;

    explicit operator bool() const { return !reason.empty(); }
};

// Sets `key` of `section` in golf.ini (every other line kept).
SettingsWriteFailure WriteSetting(const std::filesystem::path& iniFile, const std::string& section,
                                  const std::string& key, const std::string& value);

// The message of a failed write: kTextSettingsNotSaved with the file and the
// reason in Japanese.
QString SettingsNotSavedText(const SettingsWriteFailure& failure);

// The [LastRun] section of golf.ini: the last run that left courses to be
// read (it was stopped, or some pages could not be read), so that Start can
// offer to continue it.
struct LastRunRecord {
    QString output;    // the output path
    std::string area;  // the selection as an Area value
    OutputFormat format = OutputFormat::Csv;
};

// The Area value of `rows`.
std::string AreaOfRows(const std::vector<int>& rows);

// The record, or nothing when golf.ini holds none.
std::optional<LastRunRecord> LoadLastRun(const std::filesystem::path& iniFile);
// A path that an INI value cannot hold (a line break in it) is not recorded.
SettingsWriteFailure SaveLastRun(const std::filesystem::path& iniFile, const LastRunRecord& record);
SettingsWriteFailure ForgetLastRun(const std::filesystem::path& iniFile);

// File names cross between Qt and the engine as UTF-16 (Qt) and native paths.
inline std::filesystem::path ToPath(const QString& text) {
    return std::filesystem::path(text.toStdU16String());
}

inline QString FromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

}  // namespace teebasket::window
