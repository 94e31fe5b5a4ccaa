// The 40 output columns and the typed values of a course.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "MECSUtils.h"
#include "OutputColumns.h"

namespace teebasket {

const std::array<OutputColumn, kOutputColumnCount> OutputColumns = {{
    {"名称", "name", ColumnType::Text},
    {"郵便番号", "postal_code", ColumnType::Text},
    {"住所", "address", ColumnType::Text},
    {"電話番号", "telephone", ColumnType::Text},
    {"FAX番号", "fax", ColumnType::Text},
    {"車アクセス", "car_access", ColumnType::Text},
    {"休場日", "closing_days", ColumnType::Text},
    {"支払い方法", "payment_methods", ColumnType::Text},
    {"ポイントクーポン等", "points_and_coupons", ColumnType::Text},
    {"シューズ指定", "shoe_rules", ColumnType::Text},
    {"服装指定", "dress_code", ColumnType::Text},
    {"コンペルーム", "competition_room", ColumnType::Text},
    {"宿泊施設", "lodging", ColumnType::Text},
    {"宅配便", "parcel_delivery", ColumnType::Text},
    {"ホール数", "holes", ColumnType::Text},
    {"距離", "distance", ColumnType::Text},
    {"パー", "par", ColumnType::MaybeNumber},
    {"種別", "course_type", ColumnType::Text},
    {"グリーン数", "green_count", ColumnType::Text},
    {"グリーン", "greens", ColumnType::Text},
    {"コース高低差", "elevation_difference", ColumnType::Text},
    {"面積", "area", ColumnType::Text},
    {"コース", "course_layout", ColumnType::Text},
    {"設計者", "designer", ColumnType::Text},
    {"ドラコン推奨", "long_drive_hole", ColumnType::Text},
    {"ニアピン推奨", "nearest_pin_hole", ColumnType::Text},
    {"運営状況", "operating_state", ColumnType::Text},
    {"評価", "rating", ColumnType::MaybeNumber},
    {"口コミ数", "reviews", ColumnType::Text},
    {"口コミページURL", "review_url", ColumnType::Text},
    {"詳細ページURL", "detail_url", ColumnType::Text},
    {"都道府県", "prefecture", ColumnType::Text},
    {"コースID", "course_id", ColumnType::Text},
    {"取得日時", "fetched_at", ColumnType::Text},
    {"ホール数（数値）", "hole_count", ColumnType::Number},
    {"距離（ヤード）", "distance_yards", ColumnType::Number},
    {"口コミ数（数値）", "review_count", ColumnType::Number},
    {"取得状況", "fetch_status", ColumnType::Text},
    {"緯度", "latitude", ColumnType::Number},
    {"経度", "longitude", ColumnType::Number},
}};

namespace {

// The digit at `text[at]`, ASCII or full width (U+FF10-U+FF19, EF BC 90-99),
// and its length in bytes; 0 when there is none.
std::size_t DigitAt(std::string_view text, std::size_t at, char& digit) {
    if (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        digit = text[at];
        return 1;
    }
    if (at + 2 < text.size() && text[at] == '\xEF' && text[at + 1] == '\xBC' &&
        static_cast<unsigned char>(text[at + 2]) >= 0x90 &&
        static_cast<unsigned char>(text[at + 2]) <= 0x99) {
        digit = static_cast<char>('0' + (static_cast<unsigned char>(text[at + 2]) - 0x90));
        return 3;
    }
    return 0;
}

// The length of the separator at `text[at]` ("," or full-width "，", or "."
// or full-width "．"), 0 when there is none.
std::size_t SeparatorAt(std::string_view text, std::size_t at, char separator) {
    if (at < text.size() && text[at] == separator) {
        return 1;
    }
    const char last = separator == ',' ? '\x8C' : '\x8E';
    if (at + 2 < text.size() && text[at] == '\xEF' && text[at + 1] == '\xBC' &&
        text[at + 2] == last) {
        return 3;
    }
    return 0;
}

// Reads the digits from `at` into `digits`; returns how many digits.
std::size_t ReadDigits(std::string_view text, std::size_t& at, std::string& digits) {
    std::size_t count = 0;
    char digit = 0;
    while (const std::size_t length = DigitAt(text, at, digit)) {
        digits.push_back(digit);
        at += length;
        ++count;
    }
    return count;
}

// Reads one number that starts with a digit at `at`: digits, groups of
// three after commas, a decimal part. Leaves `at` after it.
std::string ReadNumber(std::string_view text, std::size_t& at) {
    std::string digits;
    const std::size_t leading = ReadDigits(text, at, digits);
    bool grouped = leading <= 3;
    while (grouped) {
        const std::size_t comma = SeparatorAt(text, at, ',');
        if (comma == 0) {
            break;
        }
        std::size_t next = at + comma;
        std::string group;
        char ignored = 0;
        if (ReadDigits(text, next, group) != 3 || DigitAt(text, next, ignored) != 0) {
            break;
        }
        digits += group;
        at = next;
    }
    if (const std::size_t point = SeparatorAt(text, at, '.')) {
        std::size_t next = at + point;
        std::string fraction;
        if (ReadDigits(text, next, fraction) > 0) {
            digits += "." + fraction;
            at = next;
        }
    }
    return digits;
}

std::optional<double> ParseDouble(std::string_view digits) {
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A coordinate in fixed notation (never "1e-05"), so that it stays a plain
// decimal; empty when there is none or it lies beyond `limit`.
std::string CoordinateOf(std::optional<double> value, double limit) {
    if (!value || std::fabs(*value) > limit) {
        return {};
    }
    char buffer[400];
    // -0 is 0: a position has no signed zero.
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer,
                                            *value == 0 ? 0.0 : *value, std::chars_format::fixed);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

// A coordinate as a file holds it: a plain decimal, or a number as a
// workbook's cell gives it ("1e-05").
std::string CoordinateOfFile(std::string_view text, double limit) {
    std::string coordinate = CoordinateText(text, limit);
    return coordinate.empty() ? CoordinateOf(WholeNumber(text), limit) : coordinate;
}

OutputValue CoordinateValue(const std::string& coordinate) {
    OutputValue value;
    value.number = ParseDouble(coordinate);
    if (value.number) {
        value.text = coordinate;
    }
    return value;
}

OutputValue NumberValue(std::optional<double> number) {
    OutputValue value;
    if (number) {
        value.number = number;
        value.text = NumberText(*number);
    }
    return value;
}

}  // namespace

std::string NumberText(double number) {
    char buffer[64];
    if (std::fabs(number) < 1e15 && number == std::floor(number)) {
        const auto [end, error] =
            std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(number));
        return error == std::errc() ? std::string(buffer, end) : std::string();
    }
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

std::optional<double> WholeNumber(std::string_view utf8) {
    const std::string_view text = TrimBlanks(utf8);
    // Up to 15 digits, which a double and a workbook cell keep exactly.
    if (text.empty() ||
        std::count_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) > 15 ||
        text.size() > 32) {
        return std::nullopt;
    }
    const std::optional<double> number = ParseDouble(text);
    // Only the number's own form: "072", "4.30", "+1", "1e3" stay text.
    if (!number || NumberText(*number) != text) {
        return std::nullopt;
    }
    return number;
}

std::optional<double> OnlyNumber(std::string_view utf8) {
    std::optional<double> found;
    std::size_t at = 0;
    while (at < utf8.size()) {
        char digit = 0;
        if (DigitAt(utf8, at, digit) == 0) {
            ++at;
            continue;
        }
        if (found) {
            return std::nullopt;  // a second number
        }
        const std::string digits = ReadNumber(utf8, at);
        found = ParseDouble(digits);
        if (!found) {
            return std::nullopt;
        }
    }
    return found;
}

std::string Utf8FromCp932(const std::string& cp932) {
    for (const char byte : cp932) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            return AnsiToUTF8(cp932);
        }
    }
    return cp932;  // ASCII is the same in both
}

std::string Cp932FromUtf8(std::string_view utf8) {
    for (const char byte : utf8) {
        if (static_cast<unsigned char>(byte) >= 0x80 || byte == '\0') {
            return UTF8ToAnsi(utf8, kCodePageJapanese);
        }
    }
    return std::string(utf8);
}

OutputRow OutputValues(const CourseEntry& entry) {
    OutputRow row;
    for (int column = 0; column < kColumnCount; ++column) {
        OutputValue& value = row[column];
        value.text = Utf8FromCp932(entry.record[column]);
        if (OutputColumns[column].type == ColumnType::MaybeNumber) {
            value.number = WholeNumber(value.text);
        }
    }
    row[kColumnPrefecture].text = entry.prefecture;
    row[kColumnCourseId].text = entry.courseId;
    row[kColumnFetchedAt].text = entry.fetchedAt;
    row[kColumnHoleCount] = NumberValue(OnlyNumber(row[kColumnHoles].text));
    row[kColumnDistanceYards] = NumberValue(OnlyNumber(row[kColumnDistance].text));
    row[kColumnReviewNumber] = NumberValue(OnlyNumber(row[kColumnReviewCount].text));
    row[kColumnFetchStatus].text = FetchStatusText(entry.fetchStatus);
    row[kColumnLatitude] = CoordinateValue(entry.latitude);
    row[kColumnLongitude] = CoordinateValue(entry.longitude);
    return row;
}

bool IsReadColumn(int column) {
    return column >= 0 && column < kOutputColumnCount &&
           (column < kColumnHoleCount || column > kColumnReviewNumber);
}

CourseEntry EntryFromTexts(const std::array<std::string, kOutputColumnCount>& texts) {
    CourseEntry entry;
    for (int column = 0; column < kColumnCount; ++column) {
        entry.record[column] = Cp932FromUtf8(texts[column]);
    }
    entry.prefecture = texts[kColumnPrefecture];
    entry.courseId = texts[kColumnCourseId];
    entry.fetchedAt = texts[kColumnFetchedAt];
    entry.fetchStatus =
        FetchStatusOfText(texts[kColumnFetchStatus]).value_or(InferredFetch(entry.record));
    entry.latitude = CoordinateOfFile(texts[kColumnLatitude], 90);
    entry.longitude = CoordinateOfFile(texts[kColumnLongitude], 180);
    return entry;
}

int OutputColumnOfHeader(std::string_view header) {
    for (int column = 0; column < kOutputColumnCount; ++column) {
        if (IsReadColumn(column) && OutputColumns[column].header == header) {
            return column;
        }
    }
    return -1;
}

std::string_view FetchStatusText(CourseFetch fetch) {
    switch (fetch) {
        case CourseFetch::Fetched:
            return "取得済み";
        case CourseFetch::Kept:
            return "前回の値";
        case CourseFetch::Failed:
            return "取得できず";
    }
    return {};
}

std::string_view FetchStatusKey(CourseFetch fetch) {
    switch (fetch) {
        case CourseFetch::Fetched:
            return "fetched";
        case CourseFetch::Kept:
            return "kept";
        case CourseFetch::Failed:
            return "failed";
    }
    return {};
}

std::optional<CourseFetch> FetchStatusOfText(std::string_view text) {
    for (const CourseFetch fetch : {CourseFetch::Fetched, CourseFetch::Kept, CourseFetch::Failed}) {
        if (text == FetchStatusText(fetch) || text == FetchStatusKey(fetch)) {
            return fetch;
        }
    }
    return std::nullopt;
}

CourseFetch InferredFetch(const CourseRecord& record) {
    return HoldsPageFacts(record) ? CourseFetch::Fetched : CourseFetch::Failed;
}

std::string CoordinateText(std::string_view text, double limit) {
    std::size_t at = text.starts_with('-') ? 1 : 0;
    const std::size_t integerFrom = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    std::size_t digits = at - integerFrom;
    if (digits == 0) {
        return {};
    }
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionFrom = ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            ++at;
        }
        if (at == fractionFrom) {
            return {};
        }
        digits += at - fractionFrom;
    }
    if (at != text.size() || digits > 15) {
        return {};
    }
    return CoordinateOf(ParseDouble(text), limit);
}

}  // namespace teebasket
