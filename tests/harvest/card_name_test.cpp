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

const std::string kLink = R"(<a href="/guide/disp/c_id/120012/?rt=1">)";

}  // namespace

TEST(CardCourseName, IsTheHeadingsTextOnOneLineOrAcrossLines) {
    EXPECT_EQ(NameOf(Heading(kLink + "青葉カントリー倶楽部</a>")), "青葉カントリー倶楽部");
    EXPECT_EQ(NameOf(Heading("\r\n  " + kLink + "\r\n  三島ＧＣ \r\n  </a>\r\n")), "三島ＧＣ");
    // Lines of one name read as a browser shows them; tags go, their text stays.
    EXPECT_EQ(NameOf(Heading("\n" + kLink + "青葉\n\n Country <em>Club</em></a>\n")),
              "青葉 Country Club");
    // A link after the heading is not the name.
    EXPECT_EQ(NameOf(Heading("青葉GC") + "\n" + kLink + "詳細を見る</a>"), "青葉GC");
    EXPECT_EQ(NameOf(Heading("\n") + "\n" + kLink + "詳細を見る</a>"), "");
}

TEST(CardCourseName, ResolvesCharacterReferences) {
    EXPECT_EQ(NameOf(Heading(kLink + "A&amp;B &lt;東&gt; &quot;x&quot; &#39;y&apos;</a>")),
              R"(A&B <東> "x" 'y')");
    EXPECT_EQ(NameOf(Heading("&#x9752;&#33865;&nbsp;GC &lt;b&gt;")), "青葉 GC <b>");
    // What is not a reference stays as it is.
    EXPECT_EQ(NameOf(Heading("R&D &#0; &#xD800; &#xZZ; &bogus;")),
              "R&D &#0; &#xD800; &#xZZ; &bogus;");
    // Control characters stay for the front ends to escape.
    EXPECT_EQ(CutCardCourseName(Heading("A&#27;[2JB")), "A\x1b[2JB");
}

TEST(CardCourseName, IsEmptyWithoutAWholeHeadingOfAName) {
    EXPECT_EQ(NameOf(R"(<h2 class="gf-card-name">)" + kLink + "名前</a>"), "");  // never ends
    EXPECT_EQ(NameOf(kLink + "名前</a>"), "");                                   // no heading
    // A heading left open does not end where the next card's heading does.
    EXPECT_EQ(NameOf(R"(<h2 class="gf-card-name">)" + kLink + "一</a>\n" + Heading("二")), "");
    EXPECT_EQ(NameOf(Heading(std::string(kMaxCardNameBytes + 1, 'x'))), "");
    EXPECT_EQ(NameOf(Heading(std::string(kMaxCardNameBytes, 'x'))),
              std::string(kMaxCardNameBytes, 'x'));
}
