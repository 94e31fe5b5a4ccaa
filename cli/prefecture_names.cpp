#include "PrefectureNames.h"

#include <charconv>
#include <string_view>

#include "Unicommon.h"
#include "Unithread.h"

namespace teebasket::cli {

namespace {

std::optional<int> RowIndex(std::string_view typed) {
    if (typed.empty() || typed.size() > 2 ||
        typed.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    int index = 0;
    std::from_chars(typed.data(), typed.data() + typed.size(), index);
    if (index >= kPrefectureCount) {
        return std::nullopt;
    }
    return index;
}

// The display name without its final 都, 府 or 県 (北海道 stays whole).
std::string_view ShortName(std::string_view displayName) {
    for (std::string_view suffix : {"都", "府", "県"}) {
        if (displayName.ends_with(suffix)) {
            return displayName.substr(0, displayName.size() - suffix.size());
        }
    }
    return displayName;
}

}  // namespace

std::optional<int> ResolvePrefecture(const std::string& typed) {
    if (std::optional<int> index = RowIndex(typed)) {
        return index;
    }
    for (int row = 0; row < kPrefectureCount; ++row) {
        const PrefectureRow& prefecture = PrefectureTable[static_cast<std::size_t>(row)];
        if (typed == prefecture.displayName || TextSameIgnoringCase(typed, prefecture.slug)) {
            return row;
        }
    }
    for (int row = 0; row < kPrefectureCount; ++row) {
        if (typed == ShortName(PrefectureTable[static_cast<std::size_t>(row)].displayName)) {
            return row;
        }
    }
    return std::nullopt;
}

ResolvedPrefectures ResolvePrefectures(const std::vector<std::string>& typed) {
    ResolvedPrefectures resolved;
    for (const std::string& word : typed) {
        const std::optional<int> row = ResolvePrefecture(word);
        if (!row) {
            resolved.error = "unknown prefecture \"" + word +
                             "\" (a name such as 東京都, a slug such as tokyo, or 0-46)";
            resolved.rows.clear();
            return resolved;
        }
        resolved.rows.push_back(*row);
    }
    return resolved;
}

std::string PrefectureNameUtf8(int index) {
    if (index < 0 || index >= kPrefectureCount) {
        return {};
    }
    return std::string(PrefectureTable[static_cast<std::size_t>(index)].displayName);
}

}  // namespace teebasket::cli
