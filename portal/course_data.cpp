// The generated courses: names, addresses, numbers and facts drawn from fixed
// word pools by a small seeded generator, so that every run of the portal with
// the same seed shows the same courses.
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "PortalPages.h"
#include "portal_random.h"

namespace teebasket::portal {

const std::array<PortalPrefecture, kPortalPrefectureCount> kPortalPrefectures = {{
    {"hokkaido", "北海道"},    {"aomori", "青森県"},     {"iwate", "岩手県"},
    {"miyagi", "宮城県"},      {"akita", "秋田県"},      {"yamagata", "山形県"},
    {"fukushima", "福島県"},   {"ibaraki", "茨城県"},    {"tochigi", "栃木県"},
    {"gunma", "群馬県"},       {"saitama", "埼玉県"},    {"chiba", "千葉県"},
    {"tokyo", "東京都"},       {"kanagawa", "神奈川県"}, {"niigata", "新潟県"},
    {"toyama", "富山県"},      {"ishikawa", "石川県"},   {"fukui", "福井県"},
    {"yamanashi", "山梨県"},   {"nagano", "長野県"},     {"gifu", "岐阜県"},
    {"shizuoka", "静岡県"},    {"aichi", "愛知県"},      {"mie", "三重県"},
    {"shiga", "滋賀県"},       {"kyoto", "京都府"},      {"osaka", "大阪府"},
    {"hyogo", "兵庫県"},       {"nara", "奈良県"},       {"wakayama", "和歌山県"},
    {"tottori", "鳥取県"},     {"shimane", "島根県"},    {"okayama", "岡山県"},
    {"hiroshima", "広島県"},   {"yamaguchi", "山口県"},  {"tokushima", "徳島県"},
    {"kagawa", "香川県"},      {"ehime", "愛媛県"},      {"kochi", "高知県"},
    {"fukuoka", "福岡県"},     {"saga", "佐賀県"},       {"nagasaki", "長崎県"},
    {"kumamoto", "熊本県"},    {"oita", "大分県"},       {"miyazaki", "宮崎県"},
    {"kagoshima", "鹿児島県"}, {"okinawa", "沖縄県"},
}};

namespace {

// First two digits of the postal codes of each prefecture.
constexpr std::array<int, kPortalPrefectureCount> kPostalPrefix = {
    6,  3,  2,  98, 1,  99, 96, 30, 32, 37, 35, 29, 19, 25, 94, 93, 92, 91, 40, 38, 50, 41, 47, 51,
    52, 61, 58, 67, 63, 64, 68, 69, 71, 72, 74, 77, 76, 79, 78, 81, 84, 85, 86, 87, 88, 89, 90};

// Rough centre of each prefecture, in hundredths of a degree.
constexpr std::array<std::pair<int, int>, kPortalPrefectureCount> kCentre = {{
    {4306, 14135}, {4082, 14074}, {3970, 14115}, {3827, 14087}, {3972, 14010}, {3824, 14036},
    {3775, 14047}, {3634, 14045}, {3657, 13988}, {3639, 13906}, {3586, 13965}, {3561, 14012},
    {3569, 13969}, {3545, 13964}, {3790, 13902}, {3670, 13721}, {3659, 13663}, {3607, 13622},
    {3566, 13857}, {3665, 13818}, {3539, 13672}, {3498, 13838}, {3518, 13691}, {3473, 13651},
    {3500, 13587}, {3502, 13576}, {3469, 13552}, {3469, 13518}, {3469, 13583}, {3423, 13517},
    {3550, 13424}, {3547, 13305}, {3466, 13393}, {3440, 13246}, {3419, 13147}, {3407, 13456},
    {3434, 13404}, {3384, 13277}, {3356, 13353}, {3361, 13042}, {3326, 13030}, {3275, 12987},
    {3279, 13074}, {3324, 13161}, {3191, 13142}, {3156, 13056}, {2621, 12768},
}};

constexpr std::array<std::string_view, 40> kPlaceStems = {
    "桜ヶ丘", "白樺",   "緑野",   "大森", "東山",   "若葉台", "朝日", "青葉",
    "南風",   "鷹の台", "紅葉台", "松風", "清流",   "富士見", "星降", "花園",
    "美浜",   "高原",   "山吹",   "柏原", "杉の木", "藤が丘", "梅里", "北野",
    "白鳥",   "泉ヶ丘", "岩清水", "楓",   "月見野", "瑞穂",   "千草", "日の出",
    "小川原", "大沢",   "高森",   "長根", "湖西",   "霧島台", "天城", "鶴舞"};

constexpr std::array<std::string_view, 10> kCourseSuffixes = {
    "カントリークラブ",   "ゴルフクラブ",        "ゴルフ倶楽部",         "カントリー倶楽部",
    "ゴルフコース",       "ゴルフリンクス",      "国際カントリークラブ", "高原ゴルフクラブ",
    "ヒルズゴルフクラブ", "ロイヤルゴルフクラブ"};

constexpr std::array<std::string_view, 30> kCityStems = {
    "北川", "南原", "東野", "西沢", "大野", "小松", "高田", "若松",   "松原", "桜井",
    "緑川", "青山", "白石", "黒田", "赤坂", "金谷", "中津", "上野原", "下館", "三木",
    "長岡", "新田", "本庄", "古川", "深谷", "野田", "石岡", "平川",   "岩瀬", "川辺"};

constexpr std::array<std::string_view, 12> kDistrictStems = {"山田",   "中山", "大平", "寺沢",
                                                             "梨木",   "滝川", "尾根", "茂原",
                                                             "堀之内", "鹿野", "芦原", "牧野"};

constexpr std::array<std::string_view, 14> kExpressways = {
    "東北自動車道",   "関越自動車道", "中央自動車道",   "東名高速道路", "名神高速道路",
    "山陽自動車道",   "九州自動車道", "北陸自動車道",   "常磐自動車道", "館山自動車道",
    "上信越自動車道", "圏央道",       "新東名高速道路", "道央自動車道"};

constexpr std::array<std::string_view, 10> kTagPool = {
    "ポイント2倍", "ポイント5倍", "ポイント10倍", "クーポン利用可", "クーポン利用不可",
    "カード可",    "カード不可",  "早割",         "前日割",         "ポイント利用不可"};

constexpr std::array<std::string_view, 5> kClosingDays = {"無休", "毎週月曜日（祝日の場合は営業）",
                                                          "12月31日、1月1日", "毎週火曜日",
                                                          "冬期クローズ（12月～3月）"};

constexpr std::array<std::string_view, 4> kCards = {"JCB、VISA、Master、AMEX、Diners",
                                                    "JCB、VISA、Master", "VISA、Master、AMEX",
                                                    "JCB、AMEX、Diners"};

constexpr std::array<std::string_view, 3> kShoes = {
    "ソフトスパイク", "ソフトスパイク・スパイクレス", "メタルスパイク不可"};

constexpr std::array<std::string_view, 4> kDress = {
    "ジャケット着用", "襟付きシャツ着用（ジーンズ不可）", "特になし", "来場時はジャケット着用"};

constexpr std::array<std::string_view, 4> kCouriers = {"ヤマト運輸", "佐川急便", "日本郵便",
                                                       "ヤマト運輸・佐川急便"};

constexpr std::array<std::string_view, 6> kCourseTypes = {
    "丘陵コース", "林間コース", "山岳コース", "河川敷コース", "シーサイドコース", "高原コース"};

constexpr std::array<std::string_view, 3> kGreens = {"ベント", "高麗", "ベント・高麗"};

constexpr std::array<std::string_view, 16> kSurnames = {
    "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村",
    "小林", "加藤", "吉田", "山口", "松本", "井上", "木村", "斎藤"};

constexpr std::array<std::string_view, 12> kGivenNames = {
    "一郎", "健二", "誠", "浩", "隆", "修", "実", "茂", "勇", "正雄", "和夫", "清"};

constexpr std::array<std::string_view, 4> kLayouts = {"OUT・IN", "東・西", "東・西・南",
                                                      "A・B・C・D"};

std::string Digits(Dice& dice, int count) {
    std::string digits;
    for (int i = 0; i < count; ++i) {
        digits += static_cast<char>('0' + dice.Below(10));
    }
    return digits;
}

// Full-width digits (U+FF10 to U+FF19) for the digits of `number`.
std::string FullWidthNumber(int number) {
    static constexpr std::array<std::string_view, 10> kFullWidthDigits = {
        "０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    std::string text;
    for (char digit : std::to_string(number)) {
        text += kFullWidthDigits[static_cast<std::size_t>(digit - '0')];
    }
    return text;
}

std::string Thousands(int number) {
    std::string digits = std::to_string(number);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

std::string Coordinate(int hundredths, Dice& dice) {
    const int millionths = hundredths * 10000 + dice.Below(400000) - 200000;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%06d", millionths / 1000000, millionths % 1000000);
    return buffer;
}

struct City {
    std::string name;  // 市, or 郡 and 町
    std::string stem;  // the part that interchanges are named after
};

City CityOf(Dice& dice) {
    const std::string stem(kCityStems[dice.Below(kCityStems.size())]);
    if (dice.Chance(30)) {
        return {stem + "郡" + std::string(kCityStems[dice.Below(kCityStems.size())]) + "町", stem};
    }
    return {stem + "市", stem};
}

std::string StreetOf(Dice& dice) {
    const std::string district(kDistrictStems[dice.Below(kDistrictStems.size())]);
    switch (dice.Below(3)) {
        case 0:
            return "大字" + district + FullWidthNumber(100 + dice.Below(3900)) + "－" +
                   FullWidthNumber(1 + dice.Below(20));
        case 1:
            return "字" + district + FullWidthNumber(1 + dice.Below(999)) + "番地";
        default:
            return district + "町" + FullWidthNumber(1 + dice.Below(5)) + "丁目" +
                   FullWidthNumber(1 + dice.Below(30)) + "－" + FullWidthNumber(1 + dice.Below(15));
    }
}

std::string TelephoneOf(int prefecture, Dice& dice) {
    char area[16];
    std::snprintf(area, sizeof area, "0%02d%d", kPostalPrefix[prefecture] % 100, dice.Below(10));
    return std::string(area) + "-" + Digits(dice, 2) + "-" + Digits(dice, 4);
}

std::vector<std::string> CarAccessOf(const std::string& cityStem, Dice& dice) {
    std::vector<std::string> access;
    const int count = 1 + dice.Below(2);
    for (int i = 0; i < count; ++i) {
        const std::string ic = i == 0 ? cityStem : std::string(kDistrictStems[dice.Below(12)]);
        access.push_back(std::string(kExpressways[dice.Below(kExpressways.size())]) + " " + ic +
                         "ICより" + std::to_string(2 + dice.Below(25)) + "km");
    }
    return access;
}

// Two to four tags, the first always one that the harvest keeps.
std::vector<std::string> TagsOf(Dice& dice) {
    std::vector<std::string> tags = {std::string(kTagPool[dice.Below(4)])};
    const int extra = 1 + dice.Below(3);
    for (int i = 0; i < extra; ++i) {
        const std::string tag(kTagPool[3 + dice.Below(kTagPool.size() - 3)]);
        if (std::find(tags.begin(), tags.end(), tag) == tags.end()) {
            tags.push_back(tag);
        }
    }
    return tags;
}

using Facts = std::vector<std::pair<std::string, std::vector<std::string>>>;

Facts FactsOf(Dice& dice) {
    const int holes = dice.Chance(70) ? 18 : (dice.Chance(50) ? 27 : 36);
    const int yards = holes * 370 + dice.Below(holes * 30);
    const int par = holes * 4;
    const std::string designer = std::string(kSurnames[dice.Below(kSurnames.size())]) +
                                 std::string(kGivenNames[dice.Below(kGivenNames.size())]);
    const int drive1 = 1 + dice.Below(9);
    const int drive2 = 10 + dice.Below(9);
    const int near1 = 1 + dice.Below(9);
    const int near2 = 10 + dice.Below(9);
    const bool competitionRoom = dice.Chance(80);
    const bool lodging = dice.Chance(25);
    return {
        {"休場日", {std::string(kClosingDays[dice.Below(kClosingDays.size())])}},
        {"支払い方法",
         {"現金", "クレジットカード（" + std::string(kCards[dice.Below(kCards.size())]) + "）"}},
        {"シューズ指定", {std::string(kShoes[dice.Below(kShoes.size())])}},
        {"服装指定", {std::string(kDress[dice.Below(kDress.size())])}},
        {"コンペルーム",
         {competitionRoom ? "あり（最大" + std::to_string(40 + 10 * dice.Below(13)) + "名）"
                          : std::string("なし")}},
        {"宿泊施設",
         {lodging ? "あり（コテージ" + std::to_string(4 + dice.Below(20)) + "棟）"
                  : std::string("なし")}},
        {"宅配便", {std::string(kCouriers[dice.Below(kCouriers.size())])}},
        {"ホール数", {std::to_string(holes) + "ホール"}},
        {"距離", {Thousands(yards) + "ヤード"}},
        {"パー", {std::to_string(par)}},
        {"種別", {std::string(kCourseTypes[dice.Below(kCourseTypes.size())])}},
        {"グリーン数", {dice.Chance(60) ? "2グリーン" : "1グリーン"}},
        {"グリーン", {std::string(kGreens[dice.Below(kGreens.size())])}},
        {"コース高低差", {"最大" + std::to_string(3 + dice.Below(40)) + "m"}},
        {"面積", {"約" + std::to_string(20 + dice.Below(80)) + "万坪"}},
        {"コース", {std::string(kLayouts[holes == 18 ? 0 : 1 + dice.Below(3)])}},
        {"設計者", {designer}},
        {"ドラコン推奨",
         {"OUT " + std::to_string(drive1) + "番", "IN " + std::to_string(drive2) + "番"}},
        {"ニアピン推奨",
         {"OUT " + std::to_string(near1) + "番", "IN " + std::to_string(near2) + "番"}},
    };
}

bool WithoutCourses(int prefecture) {
    return std::find(kPrefecturesWithoutCourses.begin(), kPrefecturesWithoutCourses.end(),
                     prefecture) != kPrefecturesWithoutCourses.end();
}

}  // namespace

int PrefectureOfSlug(std::string_view slug) {
    for (int i = 0; i < kPortalPrefectureCount; ++i) {
        if (kPortalPrefectures[i].slug == slug) {
            return i;
        }
    }
    return -1;
}

CourseCatalog::CourseCatalog(CatalogSettings settings) : settings_(settings) {
    settings_.coursesPerPrefecture = std::clamp(settings_.coursesPerPrefecture, 0, 999);
}

int CourseCatalog::CourseCount(int prefecture) const {
    if (prefecture < 0 || prefecture >= kPortalPrefectureCount || WithoutCourses(prefecture)) {
        return 0;
    }
    return settings_.coursesPerPrefecture;
}

// Positions within a prefecture decide the unusual courses, so that tests can
// rely on them whatever the seed: the first course is always a plain open
// course with reviews.
GeneratedCourse CourseCatalog::Course(int prefecture, int number) const {
    Dice dice(settings_.seed, static_cast<std::uint64_t>(prefecture),
              static_cast<std::uint64_t>(number));
    GeneratedCourse course;
    course.prefecture = prefecture;
    course.number = number;
    char id[32];
    std::snprintf(id, sizeof id, "1%02d%03d", (prefecture + 1) % 100, (number + 1) % 1000);
    course.id = id;

    course.closed = number % 13 == 5;
    course.hasStructuredData = number % 20 != 3;
    course.crlf = number % 10 == 6;

    course.name = std::string(kPlaceStems[dice.Below(kPlaceStems.size())]) +
                  std::string(kCourseSuffixes[dice.Below(kCourseSuffixes.size())]);
    if (course.closed) {
        course.name += "（閉鎖）";
    }
    char postal[16];
    std::snprintf(postal, sizeof postal, "%02d", kPostalPrefix[prefecture]);
    course.postalCode = postal + Digits(dice, 5);
    const City city = CityOf(dice);
    course.region = std::string(kPortalPrefectures[prefecture].name) + city.name;
    course.street = StreetOf(dice);
    course.telephone = TelephoneOf(prefecture, dice);
    course.fax = course.telephone.substr(0, course.telephone.size() - 4) + Digits(dice, 4);
    course.carAccess = CarAccessOf(city.stem, dice);
    course.tags = TagsOf(dice);
    course.facts = FactsOf(dice);
    const int tenths = 28 + dice.Below(21);
    course.rating = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    course.reviewCount = number % 8 == 7 ? 0 : 1 + dice.Below(900);
    course.latitude = Coordinate(kCentre[prefecture].first, dice);
    course.longitude = Coordinate(kCentre[prefecture].second, dice);
    return course;
}

std::optional<GeneratedCourse> CourseCatalog::FindCourse(std::string_view id) const {
    int value = 0;
    if (id.size() != 6 || id[0] != '1') {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (error != std::errc() || end != id.data() + id.size()) {
        return std::nullopt;
    }
    const int prefecture = value / 1000 % 100 - 1;
    const int number = value % 1000 - 1;
    if (prefecture < 0 || number < 0 || number >= CourseCount(prefecture)) {
        return std::nullopt;
    }
    return Course(prefecture, number);
}

}  // namespace teebasket::portal
