// PrefectureNames: the prefectures that the command line names, and their
// list for --list-prefectures.
//
// A user types a prefecture by its JIS X 0401 code (1 北海道 to 47 沖縄県, 13
// 東京都), as every Japanese form numbers them; the program keeps its rows
// 0-46 (row = code - 1), as the window lists them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace teebasket::cli {

// The JIS X 0401 code of row `row` (0-46): row + 1.
constexpr int PrefectureCode(int row) {
    return row + 1;
}

// The row of a prefecture typed on the command line (UTF-8): its JIS X 0401
// code, "1" to "47" or with a leading zero "01" to "09", in ASCII or
// full-width digits (１３); its display name (東京都); the name without its final 都, 道, 府 or 県
// (東京, 京都, 大阪; 北海道 is taken whole too); or its romaji name in any case (tokyo, Tokyo).
// Nothing when no row matches.
std::optional<int> ResolvePrefecture(const std::string& typed);

struct ResolvedPrefectures {
    std::vector<int> rows;      // in the order typed; the run sorts them
    std::string error;          // UTF-8, naming the first word that matched nothing
    std::string errorJapanese;  // the same in Japanese
};

ResolvedPrefectures ResolvePrefectures(const std::vector<std::string>& typed);

// Row `row`'s display name in UTF-8, or "".
std::string PrefectureNameUtf8(int row);

// The 47 prefectures, one a line in code order: the code, the name and the
// romaji name in aligned columns (" 1  北海道    hokkaido"), each line ending
// in "\n". UTF-8.
std::string PrefectureListText();

}  // namespace teebasket::cli
