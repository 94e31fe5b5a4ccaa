// Texts and small helpers shared by the source files of the main window.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

#include "Zererav.h"

namespace teebasket::window {

// Window and controls
inline const QString kTitle = QStringLiteral("Teebasket");
inline const QString kFontFamily = QStringLiteral("ＭＳ Ｐゴシック");
inline const QString kCaptionStart = QStringLiteral("取得開始 (&R)");
inline const QString kCaptionCancelButton = QStringLiteral("キャンセル (&C)");
inline const QString kCaptionSelectAll = QStringLiteral(" 都道府県の選択 : ");
inline const QString kTwoIdeographicSpaces = QStringLiteral("\u3000\u3000");

// Status lines
inline const QString kStatusFetchingPages = QStringLiteral("ページ情報を取得中...");
inline const QString kStatusPrefectureSuffix = QStringLiteral("取得中...");
inline const QString kStatusCoursePrefix = QStringLiteral("ゴルフ場情報 : ");
inline const QString kStatusCourseSuffix = QStringLiteral(" 件");
inline const QString kStatusPortal = QStringLiteral("接続先: %1");
inline const QString kDemoPortal = QStringLiteral("デモポータル");
inline const QString kStatusPortalHint = QStringLiteral("右クリックで接続先設定");

// Texts cross between the run flow (UTF-8) and Qt.
inline QString QtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string Utf8Text(const QString& text) {
    return text.toStdString();
}

// Message boxes
inline const QString kCaptionError = QtText(flow::kCaptionError);

inline const QString kTextSettingsNotSaved =
    QStringLiteral("設定ファイルを保存できませんでした。\n%1");

inline const QString kReasonUnexpected = QStringLiteral("取得処理で予期しないエラーが発生しました");

// The context menu, and the dialog "接続先の設定"
inline const QString kActionPortalSettings = QStringLiteral("接続先の設定(&P)...");
inline const QString kActionResults = QStringLiteral("取得結果(&K)...");
inline const QString kActionSchedules = QStringLiteral("定期取得(&S)...");
inline const QString kButtonShowResults = QStringLiteral("結果を表示");
inline const QString kPortalDialogTitle = QStringLiteral("接続先の設定");
inline const QString kLabelListingHost = QStringLiteral("一覧のホスト (ListingHost):");
inline const QString kLabelBookingHost = QStringLiteral("詳細ページのホスト (BookingHost):");
inline const QString kLabelCaCertificate = QStringLiteral("信頼する証明書 (CACertificate):");
inline const QString kPortalDialogNote = QStringLiteral(
    "ホスト名、または ホスト名:ポート番号 で指定します（常に https で接続します）。\n"
    "空欄の項目には既定の値（灰色の文字）を使います。");
inline const QString kCaptionConnectionTest = QStringLiteral("接続テスト");
inline const QString kCaptionBrowse = QStringLiteral("参照...");
inline const QString kTextConnectionTesting = QStringLiteral("%1 に接続しています...");

// What went wrong, in the window's Japanese: a run's failure (what could not
// be done, and to what), and the reason a page could not be read.
QString RunFailureText(const RunFailure& failure, OutputFormat format);
QString PageFailureText(const PageFailure& failure);
QString FetchErrorText(FetchError error);
// The host of a page that could not be connected to, by its setting's label,
// and the reason: "詳細ページのホスト（HOST）: 接続が拒否されました".
QString ConnectionFailureText(const PageFailure& failure);

// Why a run that would continue the file `earlier` did not start: the
// courses of `outside` would be lost.
QString CoursesOutsideText(const CoursesOutside& outside, const std::filesystem::path& earlier);

// The pages that could not be read, one entry per page: the course by name
// where the listing told it (else its identifier) or the prefecture's
// listing, the reason, and the URL. Text from pages is shown with control
// characters escaped.
QString PagesNotReadText(const std::vector<PageFailure>& failures);

// The label of the host setting of `kind`'s pages: "一覧のホスト",
// "詳細ページのホスト".
QString PortalHostLabel(PageKind kind);
// Why `host` cannot stand as the host of `kind`'s pages, naming the setting
// by its label.
QString PortalHostText(PageKind kind, const QString& host);
// The first problem of `portal`'s hosts, or "".
QString PortalSettingsText(const PortalSettings& portal);

// What a connection test to the listing of `prefecture` (UTF-8) and to one
// detail page found, naming the host that failed.
QString ConnectionTestText(const TConnectionTest& test, const QString& prefecture);

using flow::SettingsWriteFailure;
using flow::WriteSetting;

// The message of a failed write: kTextSettingsNotSaved with the file and the
// reason in Japanese.
QString SettingsNotSavedText(const SettingsWriteFailure& failure);

// File names cross between Qt and the engine as UTF-16 (Qt) and native paths.
inline std::filesystem::path ToPath(const QString& text) {
    return std::filesystem::path(text.toStdU16String());
}

inline QString FromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

}  // namespace teebasket::window
