// The 47 prefectures: display names, URL slugs and the run's selection.
#include <algorithm>

#include "MECSUtils.h"
#include "Prefectures.h"

namespace teebasket {

const std::array<PrefectureRow, kPrefectureCount> PrefectureTable = {{
    {"北海道", "hokkaido"},    {"青森県", "aomori"},     {"岩手県", "iwate"},
    {"宮城県", "miyagi"},      {"秋田県", "akita"},      {"山形県", "yamagata"},
    {"福島県", "fukushima"},   {"茨城県", "ibaraki"},    {"栃木県", "tochigi"},
    {"群馬県", "gunma"},       {"埼玉県", "saitama"},    {"千葉県", "chiba"},
    {"東京都", "tokyo"},       {"神奈川県", "kanagawa"}, {"新潟県", "niigata"},
    {"富山県", "toyama"},      {"石川県", "ishikawa"},   {"福井県", "fukui"},
    {"山梨県", "yamanashi"},   {"長野県", "nagano"},     {"岐阜県", "gifu"},
    {"静岡県", "shizuoka"},    {"愛知県", "aichi"},      {"三重県", "mie"},
    {"滋賀県", "shiga"},       {"京都府", "kyoto"},      {"大阪府", "osaka"},
    {"兵庫県", "hyogo"},       {"奈良県", "nara"},       {"和歌山県", "wakayama"},
    {"鳥取県", "tottori"},     {"島根県", "shimane"},    {"岡山県", "okayama"},
    {"広島県", "hiroshima"},   {"山口県", "yamaguchi"},  {"徳島県", "tokushima"},
    {"香川県", "kagawa"},      {"愛媛県", "ehime"},      {"高知県", "kochi"},
    {"福岡県", "fukuoka"},     {"佐賀県", "saga"},       {"長崎県", "nagasaki"},
    {"熊本県", "kumamoto"},    {"大分県", "oita"},       {"宮崎県", "miyazaki"},
    {"鹿児島県", "kagoshima"}, {"沖縄県", "okinawa"},
}};

const std::array<PrefectureRegion, kRegionCount> PrefectureRegions = {{
    {"北海道・東北", "hokkaido-tohoku", 0, 6},
    {"関東", "kanto", 7, 13},
    {"中部", "chubu", 14, 22},
    {"近畿", "kinki", 23, 29},
    {"中国", "chugoku", 30, 34},
    {"四国", "shikoku", 35, 38},
    {"九州・沖縄", "kyushu-okinawa", 39, 46},
}};

namespace {

bool IsPrefectureIndex(int index) {
    return index >= 0 && index < kPrefectureCount;
}

}  // namespace

std::string PrefectureSlug(int index) {
    return IsPrefectureIndex(index) ? std::string(PrefectureTable[index].slug) : std::string();
}

std::string PrefectureNameAnsi(int index) {
    return IsPrefectureIndex(index) ? UTF8ToAnsi(std::string(PrefectureTable[index].displayName))
                                    : std::string();
}

Selection MakeSelection(std::vector<int> rows) {
    std::erase_if(rows, [](int index) { return !IsPrefectureIndex(index); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    Selection selection;
    selection.displayNames.reserve(rows.size());
    for (const int index : rows) {
        selection.displayNames.push_back(PrefectureNameAnsi(index));
    }
    selection.rows = std::move(rows);
    return selection;
}

}  // namespace teebasket
