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

// Three real municipalities of each prefecture, each with the interchange
// it is reached from, and the prefecture's main expressway.
struct Municipality {
    std::string_view name;         // 市, or 郡 and 町/村
    std::string_view interchange;  // without "IC"
};
struct PrefectureRoads {
    std::array<Municipality, 3> municipalities;
    std::string_view expressway;
};
constexpr std::array<PrefectureRoads, kPortalPrefectureCount> kRoads = {{
    {{{{"苫小牧市", "苫小牧東"}, {"千歳市", "千歳"}, {"小樽市", "小樽"}}}, "道央自動車道"},
    {{{{"八戸市", "八戸"}, {"十和田市", "十和田"}, {"弘前市", "大鰐弘前"}}}, "東北自動車道"},
    {{{{"盛岡市", "盛岡"}, {"北上市", "北上江釣子"}, {"一関市", "一関"}}}, "東北自動車道"},
    {{{{"仙台市", "仙台宮城"}, {"大崎市", "古川"}, {"宮城郡利府町", "利府しらかし台"}}},
     "東北自動車道"},
    {{{{"秋田市", "秋田中央"}, {"大館市", "大館能代"}, {"横手市", "横手"}}}, "秋田自動車道"},
    {{{{"山形市", "山形蔵王"}, {"天童市", "天童"}, {"鶴岡市", "鶴岡"}}}, "山形自動車道"},
    {{{{"郡山市", "郡山"}, {"白河市", "白河"}, {"いわき市", "いわき湯本"}}}, "東北自動車道"},
    {{{{"笠間市", "友部"}, {"つくば市", "谷田部"}, {"水戸市", "水戸"}}}, "常磐自動車道"},
    {{{{"宇都宮市", "宇都宮"}, {"那須郡那須町", "那須"}, {"鹿沼市", "鹿沼"}}}, "東北自動車道"},
    {{{{"高崎市", "高崎"}, {"渋川市", "渋川伊香保"}, {"太田市", "太田桐生"}}}, "関越自動車道"},
    {{{{"飯能市", "狭山日高"}, {"東松山市", "東松山"}, {"入間郡越生町", "鶴ヶ島"}}},
     "関越自動車道"},
    {{{{"市原市", "市原鶴舞"}, {"成田市", "成田"}, {"君津市", "君津"}}}, "館山自動車道"},
    {{{{"八王子市", "八王子"}, {"青梅市", "青梅"}, {"町田市", "横浜町田"}}}, "中央自動車道"},
    {{{{"相模原市", "相模湖"}, {"小田原市", "小田原"}, {"厚木市", "厚木"}}}, "東名高速道路"},
    {{{{"新潟市", "新潟中央"}, {"長岡市", "長岡"}, {"南魚沼市", "六日町"}}}, "関越自動車道"},
    {{{{"富山市", "富山"}, {"高岡市", "高岡"}, {"砺波市", "砺波"}}}, "北陸自動車道"},
    {{{{"金沢市", "金沢森本"}, {"加賀市", "加賀"}, {"小松市", "小松"}}}, "北陸自動車道"},
    {{{{"福井市", "福井"}, {"坂井市", "丸岡"}, {"敦賀市", "敦賀"}}}, "北陸自動車道"},
    {{{{"甲府市", "甲府昭和"}, {"北杜市", "長坂"}, {"笛吹市", "一宮御坂"}}}, "中央自動車道"},
    {{{{"北佐久郡軽井沢町", "碓氷軽井沢"}, {"松本市", "松本"}, {"佐久市", "佐久"}}},
     "上信越自動車道"},
    {{{{"可児市", "可児御嵩"}, {"美濃加茂市", "美濃加茂"}, {"関市", "関"}}}, "東海環状自動車道"},
    {{{{"御殿場市", "御殿場"}, {"掛川市", "掛川"}, {"裾野市", "裾野"}}}, "東名高速道路"},
    {{{{"豊田市", "豊田"}, {"瀬戸市", "瀬戸赤津"}, {"岡崎市", "岡崎"}}}, "東名高速道路"},
    {{{{"四日市市", "四日市"}, {"亀山市", "亀山"}, {"津市", "津"}}}, "東名阪自動車道"},
    {{{{"甲賀市", "甲賀土山"}, {"栗東市", "栗東"}, {"大津市", "大津"}}}, "名神高速道路"},
    {{{{"亀岡市", "亀岡"}, {"京田辺市", "京田辺"}, {"福知山市", "福知山"}}}, "京都縦貫自動車道"},
    {{{{"茨木市", "茨木"}, {"河内長野市", "美原北"}, {"枚方市", "枚方東"}}}, "名神高速道路"},
    {{{{"三木市", "三木東"}, {"西宮市", "西宮山口"}, {"加東市", "滝野社"}}}, "中国自動車道"},
    {{{{"奈良市", "天理"}, {"生駒市", "生駒"}, {"宇陀市", "針"}}}, "西名阪自動車道"},
    {{{{"和歌山市", "和歌山"}, {"橋本市", "紀北かつらぎ"}, {"西牟婁郡白浜町", "南紀田辺"}}},
     "阪和自動車道"},
    {{{{"鳥取市", "鳥取"}, {"米子市", "米子"}, {"倉吉市", "湯梨浜"}}}, "山陰自動車道"},
    {{{{"松江市", "松江玉造"}, {"出雲市", "出雲"}, {"浜田市", "浜田"}}}, "山陰自動車道"},
    {{{{"岡山市", "岡山"}, {"倉敷市", "倉敷"}, {"美作市", "美作"}}}, "山陽自動車道"},
    {{{{"広島市", "広島"}, {"東広島市", "西条"}, {"三原市", "本郷"}}}, "山陽自動車道"},
    {{{{"山口市", "小郡"}, {"下関市", "下関"}, {"宇部市", "宇部"}}}, "中国自動車道"},
    {{{{"徳島市", "徳島"}, {"鳴門市", "鳴門"}, {"阿波市", "土成"}}}, "徳島自動車道"},
    {{{{"高松市", "高松中央"}, {"丸亀市", "坂出"}, {"三豊市", "三豊鳥坂"}}}, "高松自動車道"},
    {{{{"松山市", "松山"}, {"今治市", "今治湯ノ浦"}, {"西条市", "いよ西条"}}}, "松山自動車道"},
    {{{{"高知市", "高知"}, {"南国市", "南国"}, {"四万十市", "四万十町中央"}}}, "高知自動車道"},
    {{{{"福岡市", "福岡"}, {"宗像市", "若宮"}, {"久留米市", "久留米"}}}, "九州自動車道"},
    {{{{"佐賀市", "佐賀大和"}, {"鳥栖市", "鳥栖"}, {"武雄市", "武雄北方"}}}, "長崎自動車道"},
    {{{{"長崎市", "長崎多良見"}, {"佐世保市", "佐世保みなと"}, {"大村市", "大村"}}},
     "長崎自動車道"},
    {{{{"熊本市", "熊本"}, {"菊池市", "植木"}, {"阿蘇郡南小国町", "熊本"}}}, "九州自動車道"},
    {{{{"大分市", "大分"}, {"別府市", "別府"}, {"由布市", "湯布院"}}}, "大分自動車道"},
    {{{{"宮崎市", "宮崎"}, {"都城市", "都城"}, {"日南市", "田野"}}}, "宮崎自動車道"},
    {{{{"鹿児島市", "鹿児島"}, {"霧島市", "溝辺鹿児島空港"}, {"姶良市", "姶良"}}}, "九州自動車道"},
    {{{{"名護市", "許田"}, {"国頭郡恩納村", "屋嘉"}, {"中頭郡中城村", "北中城"}}}, "沖縄自動車道"},
}};

constexpr std::array<std::string_view, 12> kDistrictStems = {"山田",   "中山", "大平", "寺沢",
                                                             "梨木",   "滝川", "尾根", "茂原",
                                                             "堀之内", "鹿野", "芦原", "牧野"};

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

const Municipality& MunicipalityOf(int prefecture, Dice& dice) {
    const auto& municipalities = kRoads[prefecture].municipalities;
    return municipalities[dice.Below(municipalities.size())];
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

// The way from the municipality's interchange, and sometimes from a second
// interchange of the same prefecture.
std::vector<std::string> CarAccessOf(int prefecture, const Municipality& municipality, Dice& dice) {
    const std::string expressway(kRoads[prefecture].expressway);
    std::vector<std::string> access = {expressway + " " + std::string(municipality.interchange) +
                                       "ICより" + std::to_string(2 + dice.Below(25)) + "km"};
    const Municipality& other = MunicipalityOf(prefecture, dice);
    if (dice.Chance(50) && other.interchange != municipality.interchange) {
        access.push_back(expressway + " " + std::string(other.interchange) + "ICより" +
                         std::to_string(2 + dice.Below(25)) + "km");
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
    const Municipality& municipality = MunicipalityOf(prefecture, dice);
    course.region =
        std::string(kPortalPrefectures[prefecture].name) + std::string(municipality.name);
    course.street = StreetOf(dice);
    course.telephone = TelephoneOf(prefecture, dice);
    course.fax = course.telephone.substr(0, course.telephone.size() - 4) + Digits(dice, 4);
    course.carAccess = CarAccessOf(prefecture, municipality, dice);
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
