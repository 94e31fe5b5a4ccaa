// The course name of a listing card, which names a course whose detail page
// cannot be read or holds no name.
#include <gtest/gtest.h>

#include "CardName.h"
#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

std::string Heading(const std::string& inside) {
    return R"(<h2 class="gf-card-name">)" + inside + "</h2>";
}

std::string NameOf(const std::string& heading) {
    return U(CutCardCourseName(heading));
}

}  // namespace

TEST(CardCourseName, IsTheHeadingsTextOnOneLineOrAcrossLines) {
    const std::string link = R"(<a href="/guide/disp/c_id/120012/?rt=1">)";
    EXPECT_EQ(NameOf(Heading(link + "青葉カントリー倶楽部</a>")), "青葉カントリー倶楽部");
    EXPECT_EQ(NameOf(Heading("\n" + link + "青葉カントリー倶楽部</a>\n")), "青葉カントリー倶楽部");
    EXPECT_EQ(NameOf(Heading("\r\n  " + link + "\r\n  三島ＧＣ \r\n  </a>\r\n")), "三島ＧＣ");
    // A name written across lines reads as a browser shows it.
    EXPECT_EQ(NameOf(Heading("\n" + link + "青葉\n\n  Country Club</a>\n")), "青葉 Country Club");
    // Without a link, and with markup inside: tags go, their text stays.
    EXPECT_EQ(NameOf(Heading(" 白樺<span class=\"x\">ゴルフ場</span> ")), "白樺ゴルフ場");
    EXPECT_EQ(NameOf(R"(  <h2 id="c1" class="gf-card-name big">)"
                     "\n" +
                     link + "<em>旧</em>白樺</a>\n</h2>"),
              "旧白樺");
}

TEST(CardCourseName, ALinkAfterTheHeadingIsNotTheName) {
    EXPECT_EQ(NameOf(Heading("青葉GC") + "\n<a href=\"/guide/disp/c_id/1/?rt=1\">詳細を見る</a>\n"),
              "青葉GC");
    // A heading without text shows no name, whatever follows it.
    EXPECT_EQ(NameOf(Heading("\n") + "\n<a href=\"/c_id/1/?rt=1\">詳細を見る</a>\n"), "");
    // Only the first heading counts: the next card's is not this one's, nor
    // is its end the end of a heading left open.
    EXPECT_EQ(NameOf(Heading("一") + "\n" + Heading("二")), "一");
    EXPECT_EQ(NameOf(R"(<h2 class="gf-card-name"><a href="/c_id/1/?">一</a>)"
                     "\n" +
                     Heading("二")),
              "");
}

TEST(CardCourseName, ResolvesCharacterReferences) {
    EXPECT_EQ(
        NameOf(Heading("<a href=\"/c_id/1/?\">A&amp;B &lt;東&gt; &quot;x&quot; &#39;y&apos;</a>")),
        R"(A&B <東> "x" 'y')");
    EXPECT_EQ(NameOf(Heading("&#x9752;&#33865;&nbsp;GC")), "青葉 GC");
    // A reference to markup is text, not a tag.
    EXPECT_EQ(NameOf(Heading("&lt;b&gt;X&lt;/b&gt;")), "<b>X</b>");
    // What is not a reference stays as it is.
    EXPECT_EQ(NameOf(Heading("R&D &#0; &#xD800; &#xZZ; &bogus;")),
              "R&D &#0; &#xD800; &#xZZ; &bogus;");
}

TEST(CardCourseName, IsEmptyWithoutAWholeHeadingOfAName) {
    EXPECT_EQ(NameOf(R"(<h2 class="gf-card-name">)"), "");         // the heading never ends
    EXPECT_EQ(NameOf(R"(<a href="/c_id/1/?rt=1">名前</a>)"), "");  // no heading
    EXPECT_EQ(NameOf(Heading("  <a href=\"/c_id/1/?\"> </a> ")), "");
    EXPECT_EQ(NameOf(Heading("名前<a href=\"/c_id/1/?\"")), "名前");  // a tag cut short goes
    EXPECT_EQ(NameOf(Heading(std::string(kMaxCardNameBytes + 1, 'x'))), "");
    EXPECT_EQ(NameOf(Heading(std::string(kMaxCardNameBytes, 'x'))),
              std::string(kMaxCardNameBytes, 'x'));
}

TEST(CardCourseName, KeepsControlCharactersForTheFrontEndsToEscape) {
    // The front ends print names with control characters escaped; the name
    // itself is the page's.
    EXPECT_EQ(CutCardCourseName(Heading("A&#27;[2JB")), "A\x1b[2JB");
}
