// The HTML of the demo portal's pages. Besides the parts the harvest reads,
// every page carries the weight of a real portal page: a head full of meta
// data, style rules and scripts, the site navigation, booking plans, a
// calendar, reviews, nearby courses and a large footer.
#include <cstdio>
#include <string>

#include "PortalPages.h"
#include "portal_random.h"

namespace teebasket::portal {
namespace {

constexpr std::string_view kSiteName = "ゴルフ場ガイド";

constexpr std::array<std::string_view, 8> kRegionNames = {
    "北海道・東北", "関東", "北陸・甲信越", "東海", "関西", "中国", "四国", "九州・沖縄"};
// First prefecture index of each region (the last region ends at 47).
constexpr std::array<int, 9> kRegionStarts = {0, 7, 14, 20, 24, 30, 35, 39, 47};

constexpr std::array<std::string_view, 16> kPlanNames = {
    "【平日】セルフプレー 昼食付き",     "【土日祝】2サム保証 セルフプレー",
    "【早朝】スループレー 9ホール",      "【薄暮】ハーフプレー 乗用カート付き",
    "【シニア限定】昼食・ドリンク付き",  "【レディース】セルフ＋1ドリンク",
    "【ポイント5倍】キャディ付きプレー", "【平日】競技志向 バックティー使用",
    "【直前割】3日前までの予約限定",     "【コンペ】10組以上で幹事様無料",
    "【平日】1.5ラウンド 昼食付き",      "【土日】午後スタート スループレー",
    "【早割】30日前までの予約で割引",    "【ジュニア同伴】親子ゴルフプラン",
    "【月曜限定】セルフプレー 食事なし", "【ナイター】18ホール スループレー"};

constexpr std::array<std::string_view, 8> kPlanIcons = {"昼食付",       "乗用カート", "2サム保証",
                                                        "セルフ",       "キャディ付", "ドリンク付",
                                                        "スループレー", "GPSナビ"};

constexpr std::array<std::string_view, 8> kReviewTitles = {
    "グリーンが素晴らしい", "景色が最高でした",   "スタッフの対応が丁寧", "初心者にも優しい",
    "戦略性の高いコース",   "食事がおいしかった", "コスパが良い",         "また来たいです"};

constexpr std::array<std::string_view, 6> kReviewBodies = {
    "フェアウェイが広く、初めてでも気持ちよく回れました。グリーンは速めで手強いですが、よく整備され"
    "ていて転がりがきれいです。",
    "林間の落ち着いた雰囲気で、季節ごとに違う景色が楽しめます。昼食のカレーも評判どおりでした。また"
    "仲間と来たいと思います。",
    "アップダウンはありますが乗用カートがフェアウェイに乗り入れできたので楽でした。スタート前の練習"
    "グリーンも広くて使いやすいです。",
    "クラブハウスがきれいで、お風呂も広くて快適でした。平日はすいていて、前の組を待つこともほとんど"
    "ありませんでした。",
    "池とバンカーが効いていて、攻め方を考えるのが楽しいコースです。距離は短めですが、スコアをまとめ"
    "るのは簡単ではありません。",
    "キャディさんがコースの特徴を詳しく教えてくださり、とても助かりました。料金も手頃で、満足度の高"
    "い一日になりました。"};

constexpr std::array<std::string_view, 12> kFooterLinks = {
    "会社概要",     "利用規約",         "個人情報の取り扱い", "よくある質問",
    "お問い合わせ", "ゴルフ場の方へ",   "広告掲載",           "サイトマップ",
    "採用情報",     "ポイントについて", "クーポン一覧",       "ヘルプ"};

std::string Escape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '<':
                json += "\\u003c";
                break;
            case '\n':
                json += "\\n";
                break;
            default:
                json += c;
        }
    }
    return json + "\"";
}

// Collects a page line by line; the line end is chosen when the page is done.
class Page {
  public:
    // Room for a whole detail page at once, so that a page is not copied
    // over and over while it grows.
    Page() { text_.reserve(kPageReserve); }

    Page& operator<<(std::string_view text) {
        text_ += text;
        return *this;
    }
    void Line(std::string_view text) {
        text_ += text;
        text_ += '\n';
    }
    std::string Finish(bool crlf) {
        if (!crlf) {
            return std::move(text_);
        }
        std::string converted;
        converted.reserve(text_.size() + text_.size() / 40);
        for (char c : text_) {
            if (c == '\n') {
                converted += '\r';
            }
            converted += c;
        }
        return converted;
    }

  private:
    static constexpr std::size_t kPageReserve = 192 * 1024;
    std::string text_;
};

std::string DetailPath(std::string_view id) {
    return "/guide/disp/c_id/" + std::string(id);
}

std::string Yen(int yen) {
    std::string digits = std::to_string(yen);
    if (digits.size() > 3) {
        digits.insert(digits.size() - 3, ",");
    }
    return digits + "円";
}

void WriteStyleRules(Page& page, int count) {
    static constexpr std::array<std::string_view, 6> kBlocks = {"card", "block", "list",
                                                                "nav",  "panel", "button"};
    page.Line("<style>");
    for (int i = 0; i < count; ++i) {
        char rule[200];
        std::snprintf(rule, sizeof rule,
                      ".c-%s-%d{margin:0 0 %dpx;padding:%dpx %dpx;border:1px solid #%06x;"
                      "background:#fff;font-size:%dpx;line-height:1.6}",
                      std::string(kBlocks[i % kBlocks.size()]).c_str(), i, 4 + i % 20, 4 + i % 12,
                      8 + i % 16, 0xd0d0d0 + (i * 0x010101) % 0x2f2f2f, 12 + i % 6);
        page.Line(rule);
    }
    page.Line("</style>");
}

void WriteHead(Page& page, const std::string& title, const std::string& description,
               const std::string& canonical, int styleRules) {
    page.Line("<!DOCTYPE html>");
    page.Line("<html lang=\"ja\">");
    page.Line("<head>");
    page.Line("<meta charset=\"utf-8\">");
    page.Line("<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">");
    page.Line("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
    page.Line("<title>" + Escape(title) + "</title>");
    page.Line("<meta name=\"description\" content=\"" + Escape(description) + "\">");
    page.Line(
        "<meta name=\"keywords\" content=\"ゴルフ場,ゴルフ予約,ゴルフ場予約,格安ゴルフ,コンペ\">");
    page.Line("<meta property=\"og:type\" content=\"website\">");
    page.Line("<meta property=\"og:title\" content=\"" + Escape(title) + "\">");
    page.Line("<meta property=\"og:description\" content=\"" + Escape(description) + "\">");
    page.Line("<meta property=\"og:site_name\" content=\"" + std::string(kSiteName) + "\">");
    page.Line("<meta property=\"og:image\" content=\"/assets/img/ogp.png\">");
    page.Line("<meta name=\"twitter:card\" content=\"summary_large_image\">");
    page.Line("<link rel=\"canonical\" href=\"" + canonical + "\">");
    page.Line("<link rel=\"icon\" href=\"/favicon.ico\">");
    page.Line("<link rel=\"apple-touch-icon\" href=\"/assets/img/touch-icon.png\">");
    for (std::string_view sheet : {"base", "layout", "components", "course", "calendar", "print"}) {
        page.Line("<link rel=\"stylesheet\" href=\"/assets/css/" + std::string(sheet) +
                  ".css?v=20240601\">");
    }
    page.Line("<link rel=\"preconnect\" href=\"/\">");
    page.Line("<script src=\"/assets/js/vendor.js?v=20240601\" defer></script>");
    page.Line("<script src=\"/assets/js/site.js?v=20240601\" defer></script>");
    WriteStyleRules(page, styleRules);
}

void WriteAnalyticsScript(Page& page, const std::string& pageKind) {
    page.Line("<script>");
    page.Line("window.dataLayer = window.dataLayer || [];");
    page.Line("function gtag(){dataLayer.push(arguments);}");
    page.Line("gtag('js', new Date());");
    page.Line("gtag('config', 'G-DEMO000000', {'page_type': '" + pageKind + "'});");
    page.Line(
        "(function(){var s=document.createElement('script');s.async=true;"
        "s.src='/assets/js/measure.js';document.head.appendChild(s);})();");
    page.Line("</script>");
}

void WriteSiteHeader(Page& page) {
    page.Line("<header class=\"site-header\">");
    page.Line("<div class=\"site-header-inner\">");
    page.Line("<p class=\"site-logo\"><a href=\"/\">" + std::string(kSiteName) + "</a></p>");
    page.Line(
        "<form class=\"site-search\" action=\"/search/\" method=\"get\">"
        "<input type=\"text\" name=\"q\" placeholder=\"ゴルフ場名・エリアで検索\">"
        "<button type=\"submit\">検索</button></form>");
    page.Line("<ul class=\"site-menu\">");
    for (std::string_view item : {"ログイン", "会員登録", "予約の確認", "お気に入り", "ヘルプ"}) {
        page.Line("<li class=\"site-menu-item\"><a href=\"/member/\">" + std::string(item) +
                  "</a></li>");
    }
    page.Line("</ul>");
    page.Line("</div>");
    page.Line("<nav class=\"area-nav\">");
    for (std::size_t region = 0; region < kRegionNames.size(); ++region) {
        page.Line("<div class=\"area-nav-region\">");
        page.Line("<p class=\"area-nav-title\">" + std::string(kRegionNames[region]) + "</p>");
        page.Line("<ul class=\"area-nav-list\">");
        for (int p = kRegionStarts[region]; p < kRegionStarts[region + 1]; ++p) {
            const PortalPrefecture& prefecture = kPortalPrefectures[p];
            page.Line("<li class=\"area-nav-item\"><a href=\"/doc/area/" +
                      std::string(prefecture.slug) + "/?sort=kana&amp;page=1\">" +
                      std::string(prefecture.name) + "</a></li>");
        }
        page.Line("</ul>");
        page.Line("</div>");
    }
    page.Line("</nav>");
    page.Line("</header>");
}

void WriteFooter(Page& page) {
    page.Line("<footer class=\"site-footer\">");
    page.Line("<div class=\"footer-areas\">");
    for (int p = 0; p < kPortalPrefectureCount; ++p) {
        const PortalPrefecture& prefecture = kPortalPrefectures[p];
        page.Line("<a class=\"footer-area\" href=\"/doc/area/" + std::string(prefecture.slug) +
                  "/?sort=kana&amp;page=1\">" + std::string(prefecture.name) + "のゴルフ場</a>");
    }
    page.Line("</div>");
    page.Line("<ul class=\"footer-links\">");
    for (std::string_view link : kFooterLinks) {
        page.Line("<li><a href=\"/info/\">" + std::string(link) + "</a></li>");
    }
    page.Line("</ul>");
    page.Line(
        "<p class=\"footer-note\">掲載情報は各ゴルフ場から提供されたものです。"
        "料金・営業日は変更となる場合がありますので、ご予約の際に必ずご確認ください。</p>");
    page.Line("<p class=\"copyright\">&copy; Teebasket demo portal</p>");
    page.Line("</footer>");
}

void WriteStructuredData(Page& page, const GeneratedCourse& course) {
    // One line, keys in the order that clients of this page rely on: the name
    // before the image, the street before the region, the rating value before
    // the best rating and the review count right before the coordinates.
    page.Line(
        "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\","
        "\"@type\":\"GolfCourse\",\"name\":" +
        JsonString(course.name) + ",\"image\":\"/photo/course/" + course.id +
        "/main.jpg\","
        "\"address\":{\"@type\":\"PostalAddress\",\"postalCode\":" +
        JsonString(course.postalCode) + ",\"streetAddress\":" + JsonString(course.street) +
        ",\"addressRegion\":" + JsonString(course.region) +
        ",\"addressCountry\":\"JP\"},\"telephone\":" + JsonString(course.telephone) +
        ",\"aggregateRating\":{\"@type\":\"AggregateRating\",\"ratingValue\":" +
        JsonString(course.rating) + ",\"bestRating\":\"5\",\"worstRating\":\"1\",\"reviewCount\":" +
        JsonString(std::to_string(course.reviewCount)) +
        "},\"geo\":{\"@type\":\"GeoCoordinates\",\"latitude\":" + course.latitude +
        ",\"longitude\":" + course.longitude + "},\"url\":\"" + DetailPath(course.id) +
        "\"}</script>");
}

void WritePageData(Page& page, const GeneratedCourse& course) {
    page.Line(
        "<script type=\"application/json\" id=\"page-data\">{\"page\":\"course-detail\","
        "\"courseId\":\"" +
        course.id + "\",\"prefecture\":\"" +
        std::string(kPortalPrefectures[course.prefecture].slug) +
        "\",\"currency\":\"JPY\",\"loggedIn\":false}</script>");
}

void WriteBreadcrumb(Page& page, const GeneratedCourse& course) {
    const PortalPrefecture& prefecture = kPortalPrefectures[course.prefecture];
    page.Line("<nav class=\"breadcrumb\"><ol>");
    page.Line("<li><a href=\"/\">ゴルフ場予約トップ</a></li>");
    page.Line("<li><a href=\"/doc/area/" + std::string(prefecture.slug) +
              "/?sort=kana&amp;page=1\">" + std::string(prefecture.name) + "</a></li>");
    page.Line("<li>" + Escape(course.name) + "</li>");
    page.Line("</ol></nav>");
}

void WriteCourseHeader(Page& page, const GeneratedCourse& course) {
    page.Line("<div class=\"course-header\">");
    page.Line("<h1 class=\"course-title\">" + Escape(course.name) + "</h1>");
    page.Line("<p class=\"course-address\">〒" + course.postalCode.substr(0, 3) + "-" +
              course.postalCode.substr(3) + " " + Escape(course.region + course.street) + "</p>");
    page.Line("<div class=\"course-rating\">");
    page.Line("<span class=\"rating-stars\" data-rating=\"" + course.rating + "\"></span>");
    page.Line("<span class=\"rating-value\">" + course.rating + "</span>");
    page.Line("<span class=\"rating-count-text\">" + std::to_string(course.reviewCount) +
              "件</span>");
    page.Line("</div>");
    page.Line("<ul class=\"tag clean\">");
    for (const std::string& tag : course.tags) {
        page.Line("<li class=\"tag-item\"><div class=\"tag-label\">" + Escape(tag) + "</div></li>");
    }
    page.Line("</ul>");
    page.Line("</div>");
}

void WriteGallery(Page& page, const GeneratedCourse& course) {
    page.Line("<section class=\"gallery\">");
    page.Line("<ul class=\"gallery-list\">");
    for (int i = 1; i <= 16; ++i) {
        const std::string n = std::to_string(i);
        page.Line("<li class=\"gallery-item\"><figure><img src=\"/photo/course/" + course.id + "/" +
                  n + ".jpg\" alt=\"" + Escape(course.name) + " 写真" + n +
                  "\" loading=\"lazy\" width=\"320\" height=\"213\"><figcaption>" + n +
                  "番ホール</figcaption></figure></li>");
    }
    page.Line("</ul>");
    page.Line("</section>");
}

void WriteCalendar(Page& page, Dice& dice) {
    static constexpr std::array<std::string_view, 7> kWeekdays = {"月", "火", "水", "木",
                                                                  "金", "土", "日"};
    page.Line("<section class=\"calendar\">");
    page.Line("<h2 class=\"section-title\">予約カレンダー</h2>");
    page.Line("<table class=\"calendar-table\">");
    page.Line(
        "<thead><tr><th>月</th><th>火</th><th>水</th><th>木</th><th>金</th>"
        "<th class=\"sat\">土</th><th class=\"sun\">日</th></tr></thead>");
    page.Line("<tbody>");
    for (int week = 0; week < 5; ++week) {
        page.Line("<tr>");
        for (int day = 0; day < 7; ++day) {
            const int date = week * 7 + day + 1;
            const int price = (day >= 5 ? 14000 : 7000) + 500 * dice.Below(12);
            page.Line("<td class=\"calendar-day\" data-date=\"2024-07-" +
                      std::string(date < 10 ? "0" : "") + std::to_string(date) +
                      "\"><span class=\"calendar-date\">" + std::to_string(date) + "（" +
                      std::string(kWeekdays[day]) + "）</span><span class=\"calendar-price\">" +
                      Yen(price) + "～</span><span class=\"calendar-state\">" +
                      (dice.Chance(80) ? "○" : "△") + "</span></td>");
        }
        page.Line("</tr>");
    }
    page.Line("</tbody>");
    page.Line("</table>");
    page.Line("</section>");
}

void WritePlans(Page& page, const GeneratedCourse& course, Dice& dice, int count) {
    static constexpr std::array<std::string_view, 7> kWeekdays = {"月", "火", "水", "木",
                                                                  "金", "土", "日"};
    page.Line("<section class=\"plans\">");
    page.Line("<h2 class=\"section-title\">プラン一覧</h2>");
    page.Line("<ul class=\"plan-list\">");
    for (int i = 0; i < count; ++i) {
        const std::string planId = std::to_string(5000000 + dice.Below(999999));
        page.Line("<li class=\"plan-item\" data-plan-id=\"" + planId + "\">");
        page.Line("<div class=\"plan-head\">");
        page.Line("<h3 class=\"plan-name\">" +
                  std::string(kPlanNames[dice.Below(kPlanNames.size())]) + "</h3>");
        page.Line("<ul class=\"plan-icons\">");
        for (int k = 0; k < 3; ++k) {
            page.Line("<li class=\"plan-icon\">" +
                      std::string(kPlanIcons[dice.Below(kPlanIcons.size())]) + "</li>");
        }
        page.Line("</ul>");
        page.Line("</div>");
        page.Line("<div class=\"plan-body\">");
        page.Line(
            "<p class=\"plan-description\">ご予約は4名様からとなります。"
            "2名様・3名様でのご予約は割増料金が加算されます。"
            "雨天の場合もキャンセル料は頂戴しておりません。</p>");
        page.Line("<table class=\"plan-price\">");
        page.Line("<tr><th>日付</th><th>料金（税込）</th><th>残り枠</th></tr>");
        for (int day = 0; day < 7; ++day) {
            page.Line("<tr><td>7/" + std::to_string(day + 1) + "（" + std::string(kWeekdays[day]) +
                      "）</td><td>" + Yen((day >= 5 ? 12000 : 6000) + 100 * dice.Below(80)) +
                      "</td><td>" + std::to_string(1 + dice.Below(9)) + "組</td></tr>");
        }
        page.Line("</table>");
        page.Line("<a class=\"plan-reserve\" href=\"/reserve/plan/" + planId + "/?c=" + course.id +
                  "\">このプランで予約する</a>");
        page.Line("</div>");
        page.Line("</li>");
    }
    page.Line("</ul>");
    page.Line("</section>");
}

void WriteFacts(Page& page, const GeneratedCourse& course) {
    page.Line("<section class=\"course-info\">");
    page.Line("<h2 class=\"section-title\">コース情報</h2>");
    page.Line("<ul class=\"info-list\">");
    for (const auto& [label, paragraphs] : course.facts) {
        page << "<li class=\"info-item\"><h3 class=\"info-title\">" << label << "</h3>";
        for (const std::string& text : paragraphs) {
            page << "<p class=\"info-text\">" << Escape(text) << "</p>";
        }
        page.Line("</li>");
    }
    page.Line("</ul>");
    page.Line("</section>");
}

void WriteAccess(Page& page, const GeneratedCourse& course) {
    page.Line("<section class=\"access\">");
    page.Line("<h2 class=\"section-title\">アクセス・連絡先</h2>");
    page.Line("<dl class=\"contact-list\">");
    page.Line("<dt class=\"contact-label\">TEL<span class=\"contact-number\">" + course.telephone +
              "</span></dt>");
    page.Line("<dt class=\"contact-label\">FAX<span class=\"contact-number\">" + course.fax +
              "</span></dt>");
    page.Line("</dl>");
    page.Line("<ul class=\"details\">");
    page.Line(
        "<li class=\"details-block train\"><p class=\"details-text\">最寄り駅より"
        "クラブバス（要予約）で約20分</p></li>");
    page << "<li class=\"details-block car\"><i class=\"icon-car\"></i>";
    for (const std::string& route : course.carAccess) {
        page << "<p class=\"details-text\">" << Escape(route) << "</p>";
    }
    page.Line("</li>");
    page.Line("</ul>");
    page.Line("<div class=\"map\" data-lat=\"" + course.latitude + "\" data-lng=\"" +
              course.longitude + "\"></div>");
    page.Line("</section>");
}

void WriteReviews(Page& page, const GeneratedCourse& course, Dice& dice) {
    page.Line("<section class=\"reviews\">");
    page.Line("<h2 class=\"section-title\">口コミ・評価</h2>");
    const int shown = course.reviewCount < 6 ? course.reviewCount : 6;
    if (shown == 0) {
        page.Line("<p class=\"reviews-empty\">まだ口コミはありません。</p>");
    }
    page.Line("<ul class=\"review-list\">");
    for (int i = 0; i < shown; ++i) {
        page.Line("<li class=\"review-item\">");
        page.Line("<h3 class=\"review-title\">" +
                  std::string(kReviewTitles[dice.Below(kReviewTitles.size())]) + "</h3>");
        page.Line("<p class=\"review-meta\"><span class=\"review-score\">" +
                  std::to_string(3 + dice.Below(3)) + "</span><span class=\"review-date\">2024/0" +
                  std::to_string(1 + dice.Below(6)) + "/" + std::to_string(10 + dice.Below(18)) +
                  "</span><span class=\"review-author\">" +
                  std::to_string(30 + 10 * dice.Below(4)) + "代男性</span></p>");
        page.Line("<p class=\"review-body\">" +
                  std::string(kReviewBodies[dice.Below(kReviewBodies.size())]) + "</p>");
        page.Line("</li>");
    }
    page.Line("</ul>");
    if (course.reviewCount > 0) {
        page.Line("<p class=\"review-more\"><a href=\"/voice/detail/c_id/" + course.id +
                  "\">口コミをすべて見る</a></p>");
    }
    page.Line("</section>");
}

void WriteNearby(Page& page, const CourseCatalog& catalog, const GeneratedCourse& course) {
    page.Line("<section class=\"nearby\">");
    page.Line("<h2 class=\"section-title\">近くのゴルフ場</h2>");
    page.Line("<ul class=\"nearby-list\">");
    const int count = catalog.CourseCount(course.prefecture);
    for (int i = 1; i <= 12 && i < count; ++i) {
        const GeneratedCourse other =
            catalog.Course(course.prefecture, (course.number + i) % count);
        page.Line("<li class=\"nearby-item\"><a href=\"" + DetailPath(other.id) + "\">" +
                  "<img src=\"/photo/course/" + other.id +
                  "/thumb.jpg\" alt=\"\" width=\"120\" height=\"80\"><span class=\"nearby-name\">" +
                  Escape(other.name) + "</span></a><span class=\"nearby-area\">" +
                  Escape(other.region) + "</span><span class=\"nearby-score\">" + other.rating +
                  "</span></li>");
    }
    page.Line("</ul>");
    page.Line("</section>");
}

void WriteInitialState(Page& page, const GeneratedCourse& course, Dice& dice) {
    page << "<script>window.__INITIAL_STATE__={\"course\":{\"id\":\"" << course.id
         << "\",\"name\":" << JsonString(course.name) << "},\"availability\":[";
    for (int i = 0; i < 120; ++i) {
        if (i > 0) {
            page << ",";
        }
        page << "{\"date\":\"2024-07-" << (i % 31 < 9 ? "0" : "") << std::to_string(i % 31 + 1)
             << "\",\"slot\":" << std::to_string(i / 31)
             << ",\"price\":" << std::to_string(6000 + 100 * dice.Below(90))
             << ",\"left\":" << std::to_string(dice.Below(10))
             << ",\"flags\":[\"lunch\",\"cart\"]}";
    }
    page.Line("]};</script>");
    page.Line("<script src=\"/assets/js/course-detail.js?v=20240601\" defer></script>");
}

// The page links under a listing: 前へ, the page numbers (the current one
// not a link) and 次へ, as the portal's own listings show them.
void WritePager(Page& page, const std::string& slug, int current, int pages) {
    const auto href = [&slug](int number) {
        return "href=\"/doc/area/" + slug + "/?sort=kana&amp;page=" + std::to_string(number) + "\"";
    };
    page.Line("<nav class=\"pager\">");
    if (current > 1 && current <= pages + 1) {
        page.Line("<a class=\"pager-prev\" rel=\"prev\" " + href(current - 1) + ">前へ</a>");
    }
    for (int number = 1; number <= pages; ++number) {
        if (number == current) {
            page.Line("<span class=\"pager-item is-current\">" + std::to_string(number) +
                      "</span>");
        } else {
            page.Line("<a class=\"pager-item\" " + href(number) + ">" + std::to_string(number) +
                      "</a>");
        }
    }
    if (current < pages) {
        page.Line("<a class=\"pager-next\" rel=\"next\" " + href(current + 1) + ">次へ</a>");
    }
    page.Line("</nav>");
}

}  // namespace

std::string CourseCatalog::DetailPage(const GeneratedCourse& course) const {
    Dice dice(settings_.seed ^ 0x5157ull, static_cast<std::uint64_t>(course.prefecture),
              static_cast<std::uint64_t>(course.number));
    const std::string prefectureName(kPortalPrefectures[course.prefecture].name);
    Page page;
    WriteHead(page,
              course.name + "（" + prefectureName + "）のゴルフ場予約 | " + std::string(kSiteName),
              course.name + "のゴルフ場予約。料金・プラン・口コミ・アクセス情報を掲載しています。",
              DetailPath(course.id), 180);
    if (course.hasStructuredData) {
        WriteStructuredData(page, course);
    }
    WriteAnalyticsScript(page, "course-detail");
    page.Line("</head>");
    page.Line("<body class=\"page-course-detail\">");
    WritePageData(page, course);
    WriteSiteHeader(page);
    WriteBreadcrumb(page, course);
    page.Line("<main class=\"course-detail\">");
    WriteCourseHeader(page, course);
    WriteGallery(page, course);
    WriteCalendar(page, dice);
    WritePlans(page, course, dice, 40);
    WriteFacts(page, course);
    WriteAccess(page, course);
    WriteReviews(page, course, dice);
    WriteNearby(page, *this, course);
    page.Line("</main>");
    WriteFooter(page);
    WriteInitialState(page, course, dice);
    page.Line("</body>");
    page.Line("</html>");
    return page.Finish(course.crlf);
}

std::string CourseCatalog::ListingPage(int prefecture, int pageNumber) const {
    const PortalPrefecture& info = kPortalPrefectures[prefecture];
    const std::string slug(info.slug);
    const std::string name(info.name);
    const int total = CourseCount(prefecture);
    const int first = (pageNumber - 1) * kCoursesPerListingPage;
    const int pages = (total + kCoursesPerListingPage - 1) / kCoursesPerListingPage;
    Page page;
    WriteHead(page, name + "のゴルフ場一覧（50音順） | " + std::string(kSiteName),
              name + "のゴルフ場" + std::to_string(total) + "件を50音順に掲載しています。",
              "/doc/area/" + slug + "/?sort=kana&page=" + std::to_string(pageNumber), 60);
    WriteAnalyticsScript(page, "area-list");
    page.Line("</head>");
    page.Line("<body class=\"page-area-list\">");
    WriteSiteHeader(page);
    page.Line("<main class=\"area-list\">");
    page.Line("<h1 class=\"page-title\">" + name + "のゴルフ場一覧（" + std::to_string(total) +
              "件）</h1>");
    page.Line("<div class=\"sort-tabs\"><a class=\"is-active\" href=\"/doc/area/" + slug +
              "/?sort=kana&amp;page=1\">50音順</a><a href=\"/doc/area/" + slug +
              "/?sort=popular&amp;page=1\">人気順</a><a href=\"/doc/area/" + slug +
              "/?sort=price&amp;page=1\">料金順</a></div>");
    if (total == 0) {
        page.Line("<p class=\"no-result\">該当するゴルフ場はありません。</p>");
    }
    page.Line("<ul class=\"gf-card-list\">");
    for (int number = first;
         number >= 0 && number < total && number < first + kCoursesPerListingPage; ++number) {
        const GeneratedCourse course = Course(prefecture, number);
        page.Line("<li class=\"gf-card\">");
        page.Line("<div class=\"gf-card-head\">");
        page.Line("<h2 class=\"gf-card-name\">");
        page.Line("<a href=\"" + DetailPath(course.id) + "/?rt=1\">" + Escape(course.name) +
                  "</a>");
        page.Line("</h2>");
        page.Line("<span class=\"gf-card-area\">" + Escape(course.region) + "</span>");
        page.Line("</div>");
        page.Line("<div class=\"gf-card-body\">");
        page.Line("<img class=\"gf-card-photo\" src=\"/photo/course/" + course.id +
                  "/thumb.jpg\" alt=\"\" width=\"160\" height=\"107\" loading=\"lazy\">");
        page.Line("<p class=\"gf-card-access\">" + Escape(course.carAccess.front()) + "</p>");
        page.Line("<p class=\"gf-card-rating\">評価 " + course.rating + "（" +
                  std::to_string(course.reviewCount) + "件）</p>");
        page.Line("<p class=\"gf-card-price\">" + Yen(6000 + 100 * (course.number * 37 % 60)) +
                  "～</p>");
        page.Line("</div>");
        page.Line("</li>");
    }
    page.Line("</ul>");
    if (pages > 1) {
        WritePager(page, slug, pageNumber, pages);
    }
    page.Line("</main>");
    WriteFooter(page);
    page.Line("</body>");
    page.Line("</html>");
    return page.Finish(false);
}

std::string CourseCatalog::ReviewPage(const GeneratedCourse& course) const {
    Dice dice(settings_.seed ^ 0x7e71ull, static_cast<std::uint64_t>(course.prefecture),
              static_cast<std::uint64_t>(course.number));
    Page page;
    WriteHead(page, course.name + "の口コミ | " + std::string(kSiteName),
              course.name + "の口コミ・評価", "/voice/detail/c_id/" + course.id, 20);
    page.Line("</head>");
    page.Line("<body class=\"page-reviews\">");
    WriteSiteHeader(page);
    page.Line("<main class=\"reviews-page\">");
    page.Line("<h1 class=\"page-title\">" + Escape(course.name) + "の口コミ（" +
              std::to_string(course.reviewCount) + "件）</h1>");
    page.Line("<p><a href=\"" + DetailPath(course.id) + "\">ゴルフ場の詳細に戻る</a></p>");
    WriteReviews(page, course, dice);
    page.Line("</main>");
    WriteFooter(page);
    page.Line("</body>");
    page.Line("</html>");
    return page.Finish(false);
}

std::string CourseCatalog::IndexPage() const {
    Page page;
    WriteHead(page, std::string(kSiteName) + "（デモ）", "ゴルフ場の予約・口コミ・料金比較", "/",
              20);
    page.Line("</head>");
    page.Line("<body class=\"page-top\">");
    WriteSiteHeader(page);
    page.Line("<main class=\"top\">");
    page.Line("<h1 class=\"page-title\">都道府県からゴルフ場を探す</h1>");
    page.Line("<ul class=\"prefecture-list\">");
    for (int p = 0; p < kPortalPrefectureCount; ++p) {
        page.Line("<li><a href=\"/doc/area/" + std::string(kPortalPrefectures[p].slug) +
                  "/?sort=kana&amp;page=1\">" + std::string(kPortalPrefectures[p].name) + "（" +
                  std::to_string(CourseCount(p)) + "件）</a></li>");
    }
    page.Line("</ul>");
    page.Line("</main>");
    WriteFooter(page);
    page.Line("</body>");
    page.Line("</html>");
    return page.Finish(false);
}

std::string NotFoundPage(std::string_view path) {
    return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>404 ページが見つかりません</title>\n</head>\n<body>\n"
           "<h1>404 ページが見つかりません</h1>\n<p>" +
           Escape(path) + " は存在しないか、移動した可能性があります。</p>\n</body>\n</html>\n";
}

std::string ServerErrorPage() {
    return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<title>500 サーバーエラー</title>\n</head>\n<body>\n"
           "<h1>500 サーバーエラー</h1>\n<p>ただいまアクセスが集中しています。"
           "しばらくしてから再度お試しください。</p>\n</body>\n</html>\n";
}

}  // namespace teebasket::portal
