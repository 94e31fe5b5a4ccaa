// ReadCourseLine against CourseLine: every line the writer makes reads back
// to its values, and nothing else reads as a course line.
#include <gtest/gtest.h>

#include <random>

#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

CourseRecord Awkward() {
    CourseRecord record;
    record[kColumnName] = A("\"ゴルフ\",\"倶楽部\" 100%");  // quotes and the "," between values
    record[kColumnAddress] = A("東京都港区1-2");
    record[kColumnTelephone] = "03-1234-5678";
    record[kColumnFax] = "=HYPERLINK(\"x\")";  // a formula, made safe by the writer or not
    record[kColumnCarAccess] = "\"";
    record[kColumnTags] = "\"\"";
    record[kColumnReviewCount] = A("0件");
    record[kColumnDetailUrl] = "https://b/guide/disp/c_id/1";
    return record;
}

// Values as the file holds them: what CourseLine put between the quotes.
CourseRecord ReadBack(const std::string& line) {
    CourseRecord read;
    EXPECT_TRUE(ReadCourseLine(line, read)) << line;
    return read;
}

}  // namespace

TEST(ReadCourseLine, ReadsBackWhatCourseLineWrites) {
    for (const CourseRecord& record : {CourseRecord(), Awkward()}) {
        const std::string line = CourseLine(record);
        const CourseRecord read = ReadBack(line);
        // Written again, the values give the same bytes.
        EXPECT_EQ(CourseLine(read), line);
        for (int column = 0; column < kColumnCount; ++column) {
            if (column != kColumnFax) {
                EXPECT_EQ(read[column], record[column]) << column;
            }
        }
    }
}

TEST(ReadCourseLine, ReadsBackRandomValues) {
    // Bytes that matter to the format, and code-page-932 text.
    const std::string alphabet = "\",' =+-@\t%a" + A("あ漢ｱ");
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        CourseRecord record;
        for (std::string& value : record.values) {
            value.clear();
            const int length = static_cast<int>(random() % 6);
            for (int i = 0; i < length; ++i) {
                value.push_back(alphabet[random() % alphabet.size()]);
            }
        }
        const std::string line = CourseLine(record);
        EXPECT_EQ(CourseLine(ReadBack(line)), line);
    }
}

TEST(ReadCourseLine, RefusesEveryTornLineAndEveryOtherShape) {
    const std::string line = CourseLine(Awkward());
    CourseRecord read;
    // A crash can cut a line anywhere; no part of a line reads as one.
    for (std::size_t length = 0; length < line.size(); ++length) {
        EXPECT_FALSE(ReadCourseLine(line.substr(0, length), read)) << length;
    }
    const std::string empty31 = CourseLine(CourseRecord());
    const std::string oneValue = "\"\",";
    const std::string shapes[] = {
        empty31.substr(oneValue.size()),                 // 30 values
        empty31 + oneValue,                              // 32 values
        empty31.substr(0, empty31.size() - 1),           // no comma after the last value
        CsvHeaderLine(),                                 // the header line
        "x" + empty31,                                   // a byte before the first quote
        empty31 + " ",                                   // a byte after the last comma
        "\"a\"b\"," + empty31.substr(oneValue.size()),   // a quote inside a value, not doubled
        "\"a\r\n\"," + empty31.substr(oneValue.size()),  // a line break inside a value
        "\"a\n\"," + empty31.substr(oneValue.size()),
        "a," + empty31.substr(oneValue.size()),  // a value without quotes
    };
    for (const std::string& shape : shapes) {
        EXPECT_FALSE(ReadCourseLine(shape, read)) << shape;
    }
}
