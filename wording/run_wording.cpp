#include "RunWording.h"

#include "CuttingRules.h"

namespace teebasket {

namespace {

Bilingual FetchErrorTable(FetchError error) {
    switch (error) {
        case FetchError::HostNotFound:
            return {"ホスト名が見つかりません", "host not found"};
        case FetchError::Refused:
            return {"接続が拒否されました", "connection refused"};
        case FetchError::ConnectTimedOut:
            return {"接続がタイムアウトしました", "no connection within the time limit"};
        case FetchError::CertificateNotTrusted:
            return {"証明書が信頼されていません", "the certificate is not trusted"};
        case FetchError::NameMismatch:
            return {"証明書が別のホスト名のものです", "the certificate is for another name"};
        case FetchError::TrustedFileMissing:
            return {"信頼する証明書のファイルが見つかりません",
                    "the trusted certificate file does not exist"};
        case FetchError::SecureConnectionFailed:
            return {"安全な接続ができませんでした", "the secure connection failed"};
        case FetchError::TimedOut:
            return {"応答が途絶えました", "the portal stopped answering"};
        case FetchError::ConnectionReset:
            return {"接続が切断されました", "the connection was reset"};
        case FetchError::BodyCutShort:
            return {"ページが途中で切れました", "the page was cut short"};
        case FetchError::PageTooLarge:
            return {"ページが 16 MiB を超えています", "the page is larger than 16 MiB"};
        case FetchError::InsecureRedirect:
            return {"https でない転送先を拒否しました",
                    "refused a redirect to a non-https address"};
        case FetchError::InvalidAddress:
            return {"アドレスが正しくありません", "invalid address"};
        case FetchError::None:
        case FetchError::BrokenAnswer:
        case FetchError::ScratchNotWritten:
        case FetchError::Stopped:
        case FetchError::ClientFailed:
            break;
    }
    return {"HTTP の応答ではありませんでした", "the answer was not HTTP"};
}

Bilingual OutputFileTable(OutputFormat format) {
    switch (format) {
        case OutputFormat::Csv:
            return {"CSVファイル", "the CSV file"};
        case OutputFormat::CsvUtf8:
            return {"CSVファイル（UTF-8）", "the UTF-8 CSV file"};
        case OutputFormat::Jsonl:
            return {"JSON Linesファイル", "the JSON Lines file"};
        case OutputFormat::Xlsx:
            return {"Excelブック", "the workbook"};
    }
    return {"CSVファイル", "the CSV file"};
}

// "CSVファイルを作成できませんでした", "could not create the CSV file".
std::string FileHeadline(OutputFormat format, Language language, Bilingual doing) {
    const std::string file(OutputFileWords(format, language));
    return Pick(language, file + std::string(doing.japanese), std::string(doing.english) + file);
}

Bilingual FixedHeadline(RunFailureKind kind) {
    switch (kind) {
        case RunFailureKind::InvalidPortalSetting:
            return {"接続先の設定が正しくありません", "invalid portal setting"};
        case RunFailureKind::NoScratchLocation:
            return {"作業ファイルの場所がありません", "no scratch file location"};
        case RunFailureKind::OutputInUse:
            return {"別の取得処理が書き込み中です", "another run writes the output file"};
        case RunFailureKind::NotARegularFile:
            return {"リンク・パイプ・フォルダーがあるため作成できません",
                    "could not create a file of the run"};
        case RunFailureKind::OutputNotARegularFile:
            return {"保存先が通常のファイルではないため、何も変更していません",
                    "the output is not a regular file"};
        case RunFailureKind::OutputLinkNotFollowed:
            return {"保存先は共有フォルダーにある他のユーザーのリンクのため、たどりません",
                    "the output is a link that is not followed"};
        case RunFailureKind::OutputReadOnly:
            return {"保存先のファイルは読み取り専用のため、変更していません",
                    "the output file is read-only"};
        case RunFailureKind::ScratchFile:
            return {"作業ファイルに書き込めませんでした", "could not write the scratch file"};
        case RunFailureKind::EarlierFileUnreadable:
            return {"前回のファイルを読み込めませんでした", "the earlier file cannot be read"};
        case RunFailureKind::EarlierFileTooLarge:
            return {"前回のファイルが大きすぎます", "the earlier file is too large"};
        case RunFailureKind::EarlierFileForeign:
            return {"前回のファイルはこのプログラムの形式ではありません",
                    "the earlier file is not one this program wrote"};
        case RunFailureKind::EarlierFileOtherPortal:
            return {"前回のファイルは別の接続先のものです",
                    "the earlier file is of another portal"};
        case RunFailureKind::EarlierFileOtherSelection:
            return {"前回のファイルには選んだ都道府県以外のゴルフ場があります",
                    "the earlier file holds courses outside the selection"};
        case RunFailureKind::Unexpected:
            return {"予期しないエラーが発生しました", "unexpected error"};
        case RunFailureKind::None:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
        case RunFailureKind::OutputNotPutInPlace:
            break;
    }
    return {};
}

Bilingual HttpStatusTable(long status) {
    switch (status) {
        case 400:
            return {"リクエストが受け付けられませんでした", "bad request"};
        case 401:
        case 403:
            return {"アクセスが拒否されました", "access denied"};
        case 404:
            return {"ページが見つかりません", "page not found"};
        case 410:
            return {"ページは削除されています", "the page is gone"};
        case 429:
            return {"アクセスが多すぎると断られました", "too many requests"};
        case 500:
            return {"ポータルの内部エラーです", "the portal's internal error"};
        case 502:
        case 503:
        case 504:
            return {"ポータルが一時的に応答できません", "the portal is unavailable for now"};
        default:
            break;
    }
    return {"ポータルがエラーを返しました", "the portal answered with an error"};
}

}  // namespace

std::string HttpStatusWords(long status, Language language) {
    const std::string code = "HTTP " + std::to_string(status);
    const Bilingual words = HttpStatusTable(status);
    return Pick(language, std::string(words.japanese) + "（" + code + "）",
                std::string(words.english) + " (" + code + ")");
}

std::string AttemptsWords(int attempts, Language language) {
    const std::string count = std::to_string(attempts);
    return Pick(language, count + " 回試しました",
                count + (attempts == 1 ? " attempt" : " attempts"));
}

std::string_view PortalHostWords(PageKind kind, Language language) {
    const Bilingual words = kind == PageKind::Listing
                                ? Bilingual{"一覧のホスト", "the listing host"}
                                : Bilingual{"詳細ページのホスト", "the booking host"};
    return words.In(language);
}

std::string_view FetchErrorWords(FetchError error, Language language) {
    return FetchErrorTable(error).In(language);
}

std::string PageProblemWords(const PageFailure& failure, Language language) {
    switch (failure.problem) {
        case PageProblem::HttpStatus:
            return HttpStatusWords(failure.httpStatus, language);
        case PageProblem::TooManyCourses: {
            const std::string limit = std::to_string(kMaxCoursesPerPrefecture);
            return Pick(language, "掲載が " + limit + " 件を超えるため以降は省略しました",
                        "more than " + limit + " courses listed; the rest were left out");
        }
        case PageProblem::Fetch:
            break;
    }
    return std::string(FetchErrorWords(failure.error, language));
}

std::string_view KeptEarlierRowWords(Language language) {
    return Pick<std::string_view>(language, "前回の値を保持", "kept the earlier row");
}

std::string_view HistoryNotKeptWords(Language language) {
    return Pick<std::string_view>(language, "取得履歴に残せませんでした",
                                  "the run was not kept in the history");
}

std::string_view OutputFileWords(OutputFormat format, Language language) {
    return OutputFileTable(format).In(language);
}

std::string FailureHeadline(RunFailureKind kind, OutputFormat format, Language language) {
    switch (kind) {
        case RunFailureKind::OutputNotCreated:
            return FileHeadline(format, language, {"を作成できませんでした", "could not create "});
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::NoSpace:
            return FileHeadline(format, language, {"に書き込めませんでした", "could not write "});
        case RunFailureKind::OutputNotPutInPlace:
            return FileHeadline(format, language,
                                {"を置き換えられませんでした", "could not finish "});
        case RunFailureKind::None:
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::OutputInUse:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputNotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::EarlierFileUnreadable:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
        case RunFailureKind::Unexpected:
            break;
    }
    return std::string(FixedHeadline(kind).In(language));
}

}  // namespace teebasket
