// Prefectures: the 47 prefectures of the list and the selection of one run.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace teebasket {

inline constexpr int kPrefectureCount = 47;

struct PrefectureRow {
    std::string_view displayName;  // UTF-8, as the window lists it
    std::string_view slug;         // ASCII, as the listing URL uses it
};

// Index 0 (北海道, hokkaido) to 46 (沖縄県, okinawa): the list row and the key
// everywhere. A prefecture's JIS X 0401 code is its index + 1.
extern const std::array<PrefectureRow, kPrefectureCount> PrefectureTable;

// The seven regions by which Japanese forms group the prefectures, each a
// run of consecutive rows: 北海道・東北, 関東, 中部, 近畿, 中国, 四国, 九州・沖縄.
struct PrefectureRegion {
    std::string_view displayName;  // UTF-8
    std::string_view slug;         // ASCII (kanto, hokkaido-tohoku)
    int firstRow;
    int lastRow;  // included
};
inline constexpr int kRegionCount = 7;
extern const std::array<PrefectureRegion, kRegionCount> PrefectureRegions;

// The slug of row `index`, or "" outside 0-46.
std::string PrefectureSlug(int index);

// The display name of row `index` in code page 932, or "" outside 0-46.
std::string PrefectureNameAnsi(int index);

// The prefectures of one run, copied when the run starts: the ticked row
// indices in ascending order and their display names (code-page-932 bytes).
struct Selection {
    std::vector<int> rows;
    std::vector<std::string> displayNames;
};

// A selection of `rows`, sorted ascending, duplicates and indices outside 0-46
// dropped, with the display names of PrefectureTable.
Selection MakeSelection(std::vector<int> rows);

}  // namespace teebasket
