#include <gtest/gtest.h>

#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

CourseRecord ParseBody(const std::string& bodyHtml, const std::string& structuredData = "") {
    return ParseDetail(PageWithBody(bodyHtml, structuredData));
}

std::string Section(const std::string& label, const std::string& valueHtml) {
    return R"(<li class="info-item"><h3 class="info-title">)" + label + "</h3>" + valueHtml +
           "</li>";
}

}  // namespace

TEST(BodyPass, FaxIsTheTextAfterTheFaxTerm) {
    const std::string fax = R"(<span class="contact"><dt class="term">FAX</dt>0436-12-9999</span>)";
    EXPECT_EQ(ParseBody(fax)[kColumnFax], "0436-12-9999");
    EXPECT_EQ(ParseBody(R"(<dt class="term">Fax</dt>0436</span>)")[kColumnFax], "");
    // The first fax on the page stays.
    EXPECT_EQ(ParseBody(fax + R"(<dt>FAX</dt>000</span>)")[kColumnFax], "0436-12-9999");
}

TEST(BodyPass, CarAccessJoinsTextPiecesUpToTheEndOfTheItem) {
    const std::string access =
        R"(<ul><li class="details-block car"><span class="icon"></span>圏央道 市原鶴舞IC</b>より<br>5km</li></ul>)";
    EXPECT_EQ(U(ParseBody(access)[kColumnCarAccess]), "圏央道 市原鶴舞IC より 5km");
    // A second list does not replace the first one's value...
    EXPECT_EQ(
        U(ParseBody(access + R"(<li class="details-block car">別経路</li>)")[kColumnCarAccess]),
        "圏央道 市原鶴舞IC より 5km");
    // ...but fills the column when the first one gave nothing.
    EXPECT_EQ(U(ParseBody(
                  R"(<li class="details-block car"></li><li class="details-block car">東金IC</li>)")
                    [kColumnCarAccess]),
              "東金IC");
}

TEST(BodyPass, TagsLeaveOutRefusedOnesAndJoinWithIdeographicComma) {
    const std::string tags =
        R"(<ul class="tag clean"><li><div class="tag-label">ポイント利用可</div></li>)"
        R"(<li><div class="tag-label">カード不可</div></li><li><div class="tag-label">クーポン</div></li></ul>)";
    EXPECT_EQ(U(ParseBody(tags)[kColumnTags]), "ポイント利用可、クーポン");
}

TEST(BodyPass, SectionsFillTheColumnOfTheirLabel) {
    const CourseRecord record = ParseBody(
        Section("休場日", "<p>毎週月曜日</p><p>(祝日は営業)</p>") +
        Section("コース高低差", "<span>フラット</span>") +
        Section("コース", "<span>OUT・IN</span>") + Section("ニュース", "<p>お知らせ</p>"));
    EXPECT_EQ(U(record[6]), "毎週月曜日 (祝日は営業)");
    EXPECT_EQ(U(record[20]), "フラット");
    EXPECT_EQ(U(record[22]), "OUT・IN");
    for (int column : {7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 23, 24, 25}) {
        EXPECT_EQ(record[column], "") << "column " << column;
    }
}

TEST(BodyPass, TheLaterSectionOfALabelDecidesEvenWhenEmpty) {
    EXPECT_EQ(ParseBody(Section("パー", "<b>72</b>") + Section("パー", ""))[16], "");
    EXPECT_EQ(ParseBody(Section("パー", "") + Section("パー", "<b>72</b>"))[16], "72");
}

TEST(BodyPass, ReviewCountFromThePageFillsOnlyAnEmptyColumn) {
    const std::string count = R"(<span class="rating-count-text">8件</span>)";
    const CourseRecord fromPage = ParseBody(count);
    EXPECT_EQ(U(fromPage[kColumnReviewCount]), "8件");
    EXPECT_EQ(fromPage[kColumnReviewUrl], "https://book.example/voice/detail/c_id/120012");
    const CourseRecord fromData =
        ParseBody(count, StructuredData(R"("reviewCount":"3"},"geo":{"x":1})"));
    EXPECT_EQ(U(fromData[kColumnReviewCount]), "3件");
}

TEST(BodyPass, NeedsTheJsonScriptLine) {
    EXPECT_EQ(ParseDetail({"<html>", Section("パー", "72")})[16], "");
    // The body begins with the script line, whatever stands before it.
    EXPECT_EQ(ParseDetail({Section("パー", "71"), R"(<script type="application/json">x</script>)",
                           Section("パー", "72")})[16],
              "72");
}

TEST(BodyPass, ScansStopAtTheEndOfThePiecesOrTheWindow) {
    EXPECT_EQ(U(ParseBody(R"(<li class="details-block car">館山道)")[kColumnCarAccess]), "館山道");
    std::string longSection = R"(<h3>距離</h3)";
    for (int i = 0; i < 60; ++i) {
        longSection += ">" + std::to_string(i);
    }
    // Pieces 2 to 49 after the heading: the values 0 to 47.
    const std::string distance = ParseBody(longSection)[15];
    EXPECT_EQ(distance.substr(0, 6), "0 1 2 ");
    EXPECT_EQ(distance.substr(distance.size() - 6), " 46 47");
}

TEST(BodyPass, ReadsEverySectionOfALongBodyWhateverItsPosition) {
    // Hundreds of pieces, so each section lies far behind the first ones; the
    // tag list at the end reads its whole window, up to the last piece.
    std::string body;
    for (int round = 0; round < 30; ++round) {
        for (const char* label : {"休場日", "ホール数", "設計者"}) {
            body += Section(label, "<p>" + std::string(label) + std::to_string(round) + "</p>");
        }
    }
    body += R"(<ul class="tag clean">)";
    for (int tag = 0; tag < 30; ++tag) {
        body += R"(<li><div class="tag-label">t)" + std::to_string(tag) + "</div></li>";
    }
    const CourseRecord record = ParseBody(body);
    EXPECT_EQ(U(record[6]), "休場日29");
    EXPECT_EQ(U(record[14]), "ホール数29");
    EXPECT_EQ(U(record[23]), "設計者29");
    // Pieces 1 to 49 after the list's start hold tag labels 0 to 11 (four
    // pieces a label), the label of the last one read ahead.
    EXPECT_EQ(U(record[kColumnTags]), "t0、t1、t2、t3、t4、t5、t6、t7、t8、t9、t10、t11");
}

TEST(SectionLabels, MapToColumnsAndSkipTheEmptySlots) {
    EXPECT_EQ(ColumnForLabel(A("休場日")), 6);
    EXPECT_EQ(ColumnForLabel(A("支払い方法")), 7);
    EXPECT_EQ(ColumnForLabel(A("シューズ指定")), 9);
    EXPECT_EQ(ColumnForLabel(A("ニアピン推奨")), 25);
    EXPECT_EQ(ColumnForLabel(""), -1);
    EXPECT_EQ(ColumnForLabel(A("ポイントクーポン等")), -1);
    for (std::size_t slot = 0; slot < SectionLabelTable.size(); ++slot) {
        if (!SectionLabelTable[slot].empty()) {
            EXPECT_EQ(SectionLabelTable[slot], ColumnHeaderNames[slot + 6]);
        }
    }
}
