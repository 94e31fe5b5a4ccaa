// The words of a run's failures in each language.
#include "RunWording.h"

#include <gtest/gtest.h>

namespace teebasket {
namespace {

TEST(FetchErrorWords, OneTablePerLanguage) {
    EXPECT_EQ(FetchErrorWords(FetchError::NameMismatch, Language::Japanese),
              "証明書が別のホスト名のものです");
    EXPECT_EQ(FetchErrorWords(FetchError::NameMismatch, Language::English),
              "the certificate is for another name");
    EXPECT_EQ(FetchErrorWords(FetchError::TrustedFileMissing, Language::Japanese),
              "信頼する証明書のファイルが見つかりません");
    // The kinds without words of their own are an answer that was not HTTP.
    EXPECT_EQ(FetchErrorWords(FetchError::BrokenAnswer, Language::English),
              "the answer was not HTTP");
    EXPECT_EQ(FetchErrorWords(FetchError::ClientFailed, Language::Japanese),
              "HTTP の応答ではありませんでした");
}

TEST(PageProblemWords, StatusCutListingOrDownload) {
    PageFailure failure;
    failure.problem = PageProblem::HttpStatus;
    failure.httpStatus = 404;
    EXPECT_EQ(PageProblemWords(failure, Language::Japanese), "ページが見つかりません（HTTP 404）");
    EXPECT_EQ(PageProblemWords(failure, Language::English), "page not found (HTTP 404)");
    // A status without words of its own is said as an error of the portal.
    failure.httpStatus = 418;
    EXPECT_EQ(PageProblemWords(failure, Language::Japanese),
              "ポータルがエラーを返しました（HTTP 418）");
    failure.problem = PageProblem::TooManyCourses;
    EXPECT_EQ(PageProblemWords(failure, Language::Japanese),
              "掲載が 5000 件を超えるため以降は省略しました");
    EXPECT_EQ(PageProblemWords(failure, Language::English),
              "more than 5000 courses listed; the rest were left out");
    failure.problem = PageProblem::Fetch;
    failure.error = FetchError::Refused;
    EXPECT_EQ(PageProblemWords(failure, Language::English), "connection refused");
}

TEST(AttemptsWords, JapaneseCountsTriesEnglishPlurals) {
    EXPECT_EQ(AttemptsWords(3, Language::Japanese), "3 回試しました");
    EXPECT_EQ(AttemptsWords(3, Language::English), "3 attempts");
    EXPECT_EQ(AttemptsWords(1, Language::English), "1 attempt");
    EXPECT_EQ(PortalHostWords(PageKind::Listing, Language::Japanese), "一覧のホスト");
    EXPECT_EQ(PortalHostWords(PageKind::Detail, Language::English), "the booking host");
}

TEST(FailureHeadline, TheFileNamedByItsFormat) {
    EXPECT_EQ(
        FailureHeadline(RunFailureKind::OutputNotCreated, OutputFormat::Xlsx, Language::Japanese),
        "Excelブックを作成できませんでした");
    EXPECT_EQ(FailureHeadline(RunFailureKind::NoSpace, OutputFormat::CsvUtf8, Language::English),
              "could not write the UTF-8 CSV file");
    EXPECT_EQ(
        FailureHeadline(RunFailureKind::OutputNotPutInPlace, OutputFormat::Csv, Language::Japanese),
        "CSVファイルを置き換えられませんでした");
    EXPECT_EQ(FailureHeadline(RunFailureKind::ScratchFile, OutputFormat::Jsonl, Language::English),
              "could not write the scratch file");
    // The window's Japanese, teebasket-cli's English.
    EXPECT_EQ(
        FailureHeadline(RunFailureKind::OutputReadOnly, OutputFormat::Csv, Language::Japanese),
        "保存先のファイルは読み取り専用のため、変更していません");
    EXPECT_EQ(FailureHeadline(RunFailureKind::OutputReadOnly, OutputFormat::Csv, Language::English),
              "the output file is read-only");
    EXPECT_EQ(FailureHeadline(RunFailureKind::None, OutputFormat::Csv, Language::English), "");
}

}  // namespace
}  // namespace teebasket
