// The course name of a listing card, which names a course whose detail page
// cannot be read.
#include <gtest/gtest.h>

#include "CardName.h"
#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

TEST(CardCourseName, IsTheTextOfTheLink) {
    EXPECT_EQ(
        U(CutCardCourseName(R"(<a href="/guide/disp/c_id/120012/?rt=1">青葉カントリー倶楽部</a>)")),
        "青葉カントリー倶楽部");
    EXPECT_EQ(
        U(CutCardCourseName(R"(  <h2><a class="x" href="/c_id/1/?rt=1">  三島ＧＣ </a></h2>)")),
        "三島ＧＣ");
}

TEST(CardCourseName, ResolvesCharacterReferences) {
    EXPECT_EQ(U(CutCardCourseName(
                  R"(<a href="/c_id/1/?">A&amp;B &lt;東&gt; &quot;x&quot; &#39;y&apos;</a>)")),
              R"(A&B <東> "x" 'y')");
    EXPECT_EQ(U(CutCardCourseName(R"(<a href="/c_id/1/?">&#x9752;&#33865;&nbsp;GC</a>)")),
              "青葉 GC");
    // What is not a reference stays as it is.
    EXPECT_EQ(U(CutCardCourseName(R"(<a href="/c_id/1/?">R&D &#0; &#xD800; &#xZZ; &bogus;</a>)")),
              "R&D &#0; &#xD800; &#xZZ; &bogus;");
}

TEST(CardCourseName, IsEmptyWithoutAPlainLinkText) {
    EXPECT_EQ(CutCardCourseName(R"(<h2 class="gf-card-name">)"), "");
    EXPECT_EQ(CutCardCourseName(R"(<a href="/c_id/1/?rt=1">)"), "");  // the text on a later line
    EXPECT_EQ(CutCardCourseName(R"(<a href="/c_id/1/?"><span>名前</span></a>)"), "");
    EXPECT_EQ(CutCardCourseName(R"(<a href="/c_id/1/?">   </a>)"), "");
    EXPECT_EQ(CutCardCourseName("<a href=\"/c_id/1/?\">" + std::string(kMaxCardNameBytes + 1, 'x') +
                                "</a>"),
              "");
}

TEST(CardCourseName, KeepsControlCharactersForTheFrontEndsToEscape) {
    // The front ends print names with control characters escaped; the name
    // itself is the page's.
    EXPECT_EQ(CutCardCourseName("<a href=\"/c_id/1/?\">A&#27;[2JB</a>"), "A\x1b[2JB");
}
