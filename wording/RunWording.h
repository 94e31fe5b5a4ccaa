// RunWording: what went wrong in a run, in each language of the program's
// messages (UTF-8). The window and teebasket-cli word the engine's failure
// kinds and the pages that could not be read from these tables; a message in
// both languages is composed from the two, never split apart.
#pragma once

#include <string>
#include <string_view>

#include "HarvestFailure.h"
#include "Language.h"
#include "OutputFormat.h"

namespace teebasket {

// Why a download failed: "接続が拒否されました", "connection refused".
std::string_view FetchErrorWords(FetchError error, Language language);

// What an error status of the portal means, with the status itself:
// "ページが見つかりません（HTTP 404）", "page not found (HTTP 404)".
std::string HttpStatusWords(long status, Language language);

// Why a page could not be read: its HTTP status, its listing cut at
// kMaxCoursesPerPrefecture courses, or the download's failure.
std::string PageProblemWords(const PageFailure& failure, Language language);

// How often a page was asked for: "3 回試しました", "3 attempts".
std::string AttemptsWords(int attempts, Language language);

// The setting that names the host of a page: "一覧のホスト" (ListingHost),
// "詳細ページのホスト" (BookingHost); "the listing host", "the booking host".
std::string_view PortalHostWords(PageKind kind, Language language);

// Said of a page whose course kept the earlier file's row.
std::string_view KeptEarlierRowWords(Language language);

// Said of a run whose file is in place but which the history of runs could
// not keep.
std::string_view HistoryNotKeptWords(Language language);

// The output file of `format` as a message names it; the code-page-932 CSV
// keeps its original words.
std::string_view OutputFileWords(OutputFormat format, Language language);

// What a run could not do, without its path or reason: "CSVファイルを作成
// できませんでした", "could not create the CSV file". Empty for the kinds that
// each front end words in a message of their own (the file in use, the
// refusals to resume).
std::string FailureHeadline(RunFailureKind kind, OutputFormat format, Language language);

}  // namespace teebasket
