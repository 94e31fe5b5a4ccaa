#include "PrefectureNames.h"

#include <algorithm>
#include <string_view>
#include <tuple>
#include <utility>

#include "Unicommon.h"
#include "Unithread.h"

namespace teebasket::cli {

namespace {

const PrefectureRow& Row(int row) {
    return PrefectureTable[static_cast<std::size_t>(row)];
}

// "１３" as "13": full-width digits (U+FF10-FF19, EF BC 90-99 in UTF-8)
// become ASCII ones; anything else is kept.
std::string AsciiDigits(std::string_view typed) {
    std::string ascii;
    for (std::size_t i = 0; i < typed.size();) {
        const bool fullWidthDigit = typed.size() - i >= 3 && typed.substr(i, 2) == "\xEF\xBC" &&
                                    static_cast<unsigned char>(typed[i + 2]) >= 0x90 &&
                                    static_cast<unsigned char>(typed[i + 2]) <= 0x99;
        if (fullWidthDigit) {
            ascii += static_cast<char>('0' + (static_cast<unsigned char>(typed[i + 2]) - 0x90));
            i += 3;
        } else {
            ascii += typed[i++];
        }
    }
    return ascii;
}

// The row of a JIS X 0401 code of one or two digits, 1 to 47.
std::optional<int> RowOfCode(std::string_view digits) {
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    int code = 0;
    for (const char digit : digits) {
        code = code * 10 + (digit - '0');
    }
    if (code < 1 || code > kPrefectureCount) {
        return std::nullopt;
    }
    return code - 1;
}

// The display name without its final 都, 道, 府 or 県; 北海道 keeps its 道,
// since "北海" names nothing.
std::string_view ShortName(std::string_view displayName) {
    if (displayName == "北海道") {
        return displayName;
    }
    for (std::string_view suffix : {"都", "府", "県"}) {
        if (displayName.ends_with(suffix)) {
            return displayName.substr(0, displayName.size() - suffix.size());
        }
    }
    return displayName;
}

std::string WithoutMiddleDot(std::string_view name) {
    std::string plain(name);
    for (std::size_t at; (at = plain.find("・")) != std::string::npos;) {
        plain.erase(at, std::string_view("・").size());
    }
    return plain;
}

// The region that `typed` names: its name (関東, 九州・沖縄 or 九州沖縄), its
// romaji name in any case (kanto, kyushu-okinawa), or 関西 / kansai for 近畿.
const PrefectureRegion* ResolveRegion(const std::string& typed) {
    for (const PrefectureRegion& region : PrefectureRegions) {
        if (typed == region.displayName || typed == WithoutMiddleDot(region.displayName) ||
            TextSameIgnoringCase(typed, region.slug)) {
            return &region;
        }
    }
    if (typed == "関西" || TextSameIgnoringCase(typed, "kansai")) {
        return &PrefectureRegions[3];
    }
    return nullptr;
}

// The first word that matched nothing, in each language.
std::pair<std::string, std::string> UnknownPrefecture(const std::string& word) {
    if (const std::string digits = AsciiDigits(word);
        !digits.empty() && digits.find_first_not_of('0') == std::string::npos) {
        return {
            "\"" + word + "\" is no prefecture code: the codes run from 1 (北海道) to 47 (沖縄県)",
            "\"" + word + "\" は都道府県コードではありません（1 の北海道から 47 の沖縄県まで）"};
    }
    return {"unknown prefecture \"" + word +
                "\" (a code from 1 to 47 such as 13, a name such as 東京都 or 東京, a romaji "
                "name such as tokyo, or a region such as 関東 or kanto; --list-prefectures lists "
                "them)",
            "都道府県 \"" + word +
                "\" が見つかりません（13 のようなコード、東京都や東京のような名前、tokyo "
                "のようなローマ字、関東や kanto のような地方名が使えます。--list-prefectures "
                "で一覧を表示します）"};
}

std::string PaddedToWidth(std::string_view text, int columns, int width) {
    return std::string(text) +
           std::string(static_cast<std::size_t>(std::max(0, columns - width)), ' ');
}

}  // namespace

std::optional<int> ResolvePrefecture(const std::string& typed) {
    if (std::optional<int> row = RowOfCode(AsciiDigits(typed))) {
        return row;
    }
    for (int row = 0; row < kPrefectureCount; ++row) {
        const PrefectureRow& prefecture = Row(row);
        if (typed == prefecture.displayName || typed == ShortName(prefecture.displayName) ||
            TextSameIgnoringCase(typed, prefecture.slug)) {
            return row;
        }
    }
    return std::nullopt;
}

ResolvedPrefectures ResolvePrefectures(const std::vector<std::string>& typed) {
    ResolvedPrefectures resolved;
    for (const std::string& word : typed) {
        if (const PrefectureRegion* region = ResolveRegion(word)) {
            for (int row = region->firstRow; row <= region->lastRow; ++row) {
                resolved.rows.push_back(row);
            }
            continue;
        }
        const std::optional<int> row = ResolvePrefecture(word);
        if (!row) {
            std::tie(resolved.error, resolved.errorJapanese) = UnknownPrefecture(word);
            resolved.rows.clear();
            return resolved;
        }
        resolved.rows.push_back(*row);
    }
    return resolved;
}

std::string PrefectureNameUtf8(int row) {
    if (row < 0 || row >= kPrefectureCount) {
        return {};
    }
    return std::string(Row(row).displayName);
}

std::string PrefectureListText() {
    // Names take two columns a character, three or four characters.
    constexpr int kNameColumns = 10;
    std::string text;
    for (int row = 0; row < kPrefectureCount; ++row) {
        const std::string code = std::to_string(PrefectureCode(row));
        const std::string_view name = Row(row).displayName;
        const int nameWidth =
            static_cast<int>(name.size() / 3) * 2;  // 3-byte kanji, 2 columns each
        text += std::string(code.size() < 2 ? " " : "") + code + "  " +
                PaddedToWidth(name, kNameColumns, nameWidth) + std::string(Row(row).slug) + "\n";
    }
    return text;
}

}  // namespace teebasket::cli
