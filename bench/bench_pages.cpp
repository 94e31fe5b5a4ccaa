#include "bench_pages.h"

namespace teebasket::bench {
namespace {

const char* const kCourseNames[] = {"青葉カントリー倶楽部", "白樺高原ゴルフコース",
                                    "富士見ヶ丘ゴルフ場", "髙﨑国際カントリークラブ",
                                    "南房総シーサイドゴルフ"};
const char* const kStreets[] = {"市原市青葉台１２３４－５", "軽井沢町大字長倉２０８０",
                                "御殿場市神山７１９－１", "高崎市足門町１０１６",
                                "南房総市千倉町白子３３"};
const char* const kLabels[] = {"休場日", "支払い方法", "ホール数",     "距離",
                               "パー",   "グリーン",   "コース高低差", "設計者"};
const char* const kValues[] = {"毎週月曜日（祝日の場合は営業）",
                               "現金・クレジットカード（ＪＣＢ、ＶＩＳＡ）",
                               "18ホール",
                               "6,850ヤード",
                               "72",
                               "ベント２グリーン",
                               "丘陵コース〜フラット",
                               "井上　誠一"};

}  // namespace

std::string JapaneseHtmlPage(std::size_t bytes) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>ゴルフ場一覧｜ゴルフ場予約</title>\n</head>\n<body>\n";
    for (std::size_t i = 0; page.size() < bytes; ++i) {
        const std::size_t k = i % 5;
        page += "<div class=\"gf-card\">\n  <h2 class=\"gf-card-name\">\n";
        page += "    <a href=\"/guide/disp/c_id/" + std::to_string(120000 + i) + "/?rt=1\">" +
                kCourseNames[k] + "</a>\n  </h2>\n";
        page += "  <p class=\"gf-card-address\">〒２９９－０１２３ " + std::string(kStreets[k]) +
                "　ＴＥＬ：０４３６－１２－３４５６</p>\n";
        page +=
            "  <ul class=\"tag clean\"><li><div class=\"tag-label\">ポイント利用可</div></li>"
            "<li><div class=\"tag-label\">カード不可</div></li></ul>\n";
        for (std::size_t s = 0; s < 8; ++s) {
            page += "  <li class=\"info-item\"><h3 class=\"info-title\">" +
                    std::string(kLabels[s]) + "</h3><span class=\"info-text\">" +
                    kValues[(s + i) % 8] + "</span></li>\n";
        }
        page += "  <span class=\"rating-count-text\">" + std::to_string(i % 90) + "件</span>\n";
        page += "</div>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

std::string JapaneseText(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; text.size() < bytes; ++i) {
        const std::size_t k = i % 5;
        text += std::string(kCourseNames[k]) + "は" + kStreets[k] + "にあり、" + kLabels[i % 8] +
                "は" + kValues[(i + k) % 8] + "です。\n";
    }
    return text;
}

}  // namespace teebasket::bench
