// PrefectureNames: the prefectures that the command line names.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace teebasket::cli {

// The row of a prefecture typed on the command line (UTF-8): its display
// name (東京都), the name without its final 都, 府 or 県 (東京), its slug in
// any case (tokyo, Tokyo) or its row index (12). Nothing when no row matches.
std::optional<int> ResolvePrefecture(const std::string& typed);

struct ResolvedPrefectures {
    std::vector<int> rows;  // in the order typed; the run sorts them
    std::string error;      // UTF-8, naming the first word that matched nothing
};

ResolvedPrefectures ResolvePrefectures(const std::vector<std::string>& typed);

// Row `index`'s display name in UTF-8, or "".
std::string PrefectureNameUtf8(int index);

}  // namespace teebasket::cli
