// A detail page, whole (structured-data pass and body pass) and each pass on
// its own: every course line holds 31 values, none with a CR, an LF or a
// zero byte, none ending in half a double-byte character, none that a
// spreadsheet would run as a formula, and the detail address last.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzChecks.h"
#include "MECSUtils.h"
#include "Unithread.h"

using namespace teebasket;

namespace {

void CheckLine(const CourseRecord& record, const std::string& detailUrl) {
    const std::string line = CourseLine(record);
    const std::vector<std::string> values = fuzz::SplitCourseLine(line);
    fuzz::Require(values.size() == kColumnCount, "a course line without 31 values", line);
    for (const std::string& value : values) {
        fuzz::Require(!fuzz::HasLineBreakOrZero(value), "a value with CR, LF or NUL", value);
        fuzz::Require(!fuzz::EndsInLoneLeadByte(value), "a value ending in a lone lead byte",
                      value);
        const bool formula =
            value.size() > 1 && std::string_view("=+-@\t\r").find(value[0]) != std::string::npos;
        fuzz::Require(!formula, "a value a spreadsheet would run as a formula", value);
    }
    fuzz::Require(values[kColumnDetailUrl] == detailUrl, "the detail address is not last", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string page(reinterpret_cast<const char*>(data), size);
    PortalSettings portal;
    portal.bookingHost = "book.example";
    const std::string id = "120012";
    CheckLine(ParseCourseDetail(PageText(page), portal, id), DetailUrl(portal, id));

    // Each pass on its own, with the input shaped as the pass receives it:
    // one raw line of the page, and the page's lines converted to code page
    // 932 and joined with blanks (without the script line that starts the
    // body on a real page).
    const std::vector<std::string> lines = SplitLines(page);
    CourseRecord structured;
    ExtractStructuredData(lines.empty() ? std::string() : lines.front(), structured);
    structured[kColumnDetailUrl] = DetailUrl(portal, id);
    CheckLine(structured, DetailUrl(portal, id));

    std::string bodyText;
    for (const std::string& line : lines) {
        bodyText += ' ' + UTF8ToAnsi(TextTrim(line));
    }
    CourseRecord body;
    ExtractBodySections(bodyText, body);
    body[kColumnDetailUrl] = DetailUrl(portal, id);
    CheckLine(body, DetailUrl(portal, id));
    return 0;
}
