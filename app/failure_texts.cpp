// The window's Japanese words for what went wrong in a run.
#include "MECSUtils.h"
#include "SystemText.h"
#include "window_internal.h"

namespace teebasket::window {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString Quoted(const std::filesystem::path& path) {
    return QStringLiteral("「") + FromPath(path) + QStringLiteral("」");
}

QString SystemReason(const RunFailure& failure) {
    return failure.error ? Utf8(JapaneseErrorText(failure.error)) : QString();
}

// "「PATH」: 理由" or the path alone.
QString AtPath(const RunFailure& failure) {
    const QString reason = SystemReason(failure);
    return Quoted(failure.path) + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

}  // namespace

QString RunFailureText(const RunFailure& failure) {
    switch (failure.kind) {
        case RunFailureKind::None:
            return {};
        case RunFailureKind::InvalidPortalSetting:
            return QStringLiteral("接続先の設定が正しくありません: ") + Utf8(failure.detail);
        case RunFailureKind::NoScratchLocation:
            return QStringLiteral("作業ファイルの場所がありません。");
        case RunFailureKind::OutputInUse:
            return QStringLiteral("別の取得処理が書き込み中です: ") + Quoted(failure.path);
        case RunFailureKind::NotARegularFile:
            return QStringLiteral("リンク・パイプ・フォルダーがあるため作成できません: ") +
                   Quoted(failure.path);
        case RunFailureKind::OutputNotCreated:
            return QStringLiteral("CSVファイルを作成できませんでした: ") + AtPath(failure);
        case RunFailureKind::OutputNotWritten:
            return QStringLiteral("CSVファイルに書き込めませんでした: ") + AtPath(failure);
        case RunFailureKind::NoSpace:
            return QStringLiteral("空き容量がありません: ") + Quoted(failure.path);
        case RunFailureKind::OutputNotPutInPlace:
            return QStringLiteral("CSVファイルを置き換えられませんでした: ") + AtPath(failure);
        case RunFailureKind::ScratchFile:
            return QStringLiteral("作業ファイルに書き込めませんでした: ") + AtPath(failure);
        case RunFailureKind::EarlierFileUnreadable:
            return QStringLiteral("前回のファイルを読み込めませんでした: ") + AtPath(failure);
        case RunFailureKind::EarlierFileTooLarge:
            return QStringLiteral("前回のファイルが大きすぎます: ") + Quoted(failure.path);
        case RunFailureKind::EarlierFileForeign:
            return QStringLiteral("前回のファイルはこのプログラムの形式ではありません: ") +
                   Quoted(failure.path);
        case RunFailureKind::EarlierFileOtherPortal:
            return QStringLiteral("前回のファイルは別の接続先のものです: ") + Quoted(failure.path);
        case RunFailureKind::EarlierFileOtherSelection:
            return QStringLiteral("前回のファイルは別の都道府県の選択のものです: ") +
                   Quoted(failure.path);
        case RunFailureKind::Unexpected:
            return QStringLiteral("予期しないエラーが発生しました: ") + Utf8(failure.detail);
    }
    return {};
}

QString FetchErrorText(FetchError error) {
    switch (error) {
        case FetchError::HostNotFound:
            return QStringLiteral("ホスト名が見つかりません");
        case FetchError::Refused:
            return QStringLiteral("接続が拒否されました");
        case FetchError::ConnectTimedOut:
            return QStringLiteral("接続がタイムアウトしました");
        case FetchError::CertificateNotTrusted:
            return QStringLiteral("証明書が信頼されていません");
        case FetchError::NameMismatch:
            return QStringLiteral("証明書が別のホスト名のものです");
        case FetchError::TrustedFileMissing:
            return QStringLiteral("信頼する証明書のファイルが見つかりません");
        case FetchError::SecureConnectionFailed:
            return QStringLiteral("安全な接続ができませんでした");
        case FetchError::TimedOut:
            return QStringLiteral("応答が途絶えました");
        case FetchError::ConnectionReset:
            return QStringLiteral("接続が切断されました");
        case FetchError::BodyCutShort:
            return QStringLiteral("ページが途中で切れました");
        case FetchError::PageTooLarge:
            return QStringLiteral("ページが 16 MiB を超えています");
        case FetchError::InsecureRedirect:
            return QStringLiteral("https でない転送先を拒否しました");
        case FetchError::InvalidAddress:
            return QStringLiteral("アドレスが正しくありません");
        default:
            return QStringLiteral("HTTP の応答ではありませんでした");
    }
}

QString PageFailureText(const PageFailure& failure) {
    switch (failure.problem) {
        case PageProblem::HttpStatus:
            return QStringLiteral("HTTP %1").arg(failure.httpStatus);
        case PageProblem::TooManyCourses:
            return QStringLiteral("掲載が %1 件を超えるため以降は省略しました")
                .arg(kMaxCoursesPerPrefecture);
        case PageProblem::Fetch:
            break;
    }
    return FetchErrorText(failure.error);
}

}  // namespace teebasket::window
