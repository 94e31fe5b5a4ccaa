// Whole runs of the engine with the real fetcher against a real demo portal.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "PortalPages.h"
#include "TestSupport.h"
#include "rules_test_support.h"

using namespace teebasket;
using namespace teebasket::test;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

// Records every observer call as a line of UTF-8 text.
class RecordingObserver : public HarvestObserver {
  public:
    std::vector<std::string> calls;
    std::function<void(HarvestRun&)> onStep;
    std::function<void(HarvestRun&)> onStatus;
    bool runningAtEnd = true;
    bool scratchAtEnd = true;

    void ProgressStart(HarvestRun& run) override {
        calls.push_back("start " + std::to_string(run.prefectureCount));
    }
    void ProgressStep(HarvestRun& run) override {
        calls.push_back("step " + U(run.currentPrefecture));
        if (onStep) {
            onStep(run);
        }
    }
    void StatusUpdate(HarvestRun& run) override {
        calls.push_back("status " + U(run.currentPrefecture) + " " +
                        std::to_string(run.courseIndex) + "/" + std::to_string(run.courseTotal));
        if (onStatus) {
            onStatus(run);
        }
    }
    void RunEnded(HarvestRun& run) override {
        calls.push_back("ended");
        runningAtEnd = run.running;
        scratchAtEnd = std::filesystem::exists(run.scratchPath);
    }
};

// One run against `host`, with zero pauses and short time-outs.
class RunHarness {
  public:
    RunHarness(const std::string& host, const std::filesystem::path& certificate) {
        settings.portal.listingHost = host;
        settings.portal.bookingHost = host;
        settings.portal.caCertificate = certificate;
        settings.pauses = PausePolicy{0ms, 0ms};
        settings.fetch.connectTimeout = 5s;
        settings.fetch.lowSpeedTime = 2s;
        settings.fetch.totalTimeout = 30s;
        run.outputPath = dir.path() / "out.csv";
        run.scratchPath = dir.path() / "tmp.dat";
    }
    explicit RunHarness(const PortalProcess& portal)
        : RunHarness(portal.host(), portal.certificate()) {}

    void Run(std::vector<int> rows) {
        const Selection selection = MakeSelection(std::move(rows));
        HarvestContext context{run, selection, settings, agents, observer};
        Execute(context);
    }

    std::string Csv() const { return ReadFileBytes(run.outputPath); }

    // The file's lines, without their CR LF; fails when a line lacks it.
    Lines CsvLines() const {
        const std::string csv = Csv();
        Lines lines;
        std::size_t start = 0;
        while (start < csv.size()) {
            const std::size_t end = csv.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "a line without CR LF";
            if (end == std::string::npos) {
                break;
            }
            lines.push_back(csv.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    TempDir dir;
    HarvestSettings settings;
    HarvestRun run;
    UserAgentGenerator agents;
    RecordingObserver observer;
};

// The values of a course line (quoted, each followed by a comma), as UTF-8.
Lines CourseValues(const std::string& line) {
    Lines values;
    std::size_t i = 0;
    while (i < line.size()) {
        EXPECT_EQ(line[i], '"') << line;
        std::string value;
        for (++i; i < line.size(); ++i) {
            if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                value.push_back('"');
                ++i;
            } else if (line[i] == '"') {
                break;
            } else {
                value.push_back(line[i]);
            }
        }
        EXPECT_EQ(line.substr(i, 2), "\",") << line;
        i += 2;
        values.push_back(U(value));
    }
    return values;
}

std::string Join(const Lines& items, const std::string& separator) {
    std::string joined;
    for (const std::string& item : items) {
        joined += (joined.empty() ? "" : separator) + item;
    }
    return joined;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string HalfWidth(std::string text) {
    const char* const digits[] = {"０", "１", "２", "３", "４", "５", "６", "７", "８", "９"};
    for (int d = 0; d < 10; ++d) {
        text = Replaced(text, digits[d], std::to_string(d));
    }
    return Replaced(Replaced(Replaced(Replaced(text, "－", "-"), "‐", "-"), "（", "("), "）", ")");
}

// What the CSV line of a generated course must hold, worked out from the
// portal's own data rather than from its pages.
Lines ExpectedValues(const portal::GeneratedCourse& course, const std::string& host) {
    Lines values(kColumnCount);
    const bool data = course.hasStructuredData;
    if (data) {
        values[0] = Replaced(course.name, "（閉鎖）", "");
        values[1] = course.postalCode.substr(0, 3) + "-" + course.postalCode.substr(3);
        values[2] = course.region + HalfWidth(course.street);
        values[3] = course.telephone;
        char rating[32];
        std::snprintf(rating, sizeof rating, "%.15g", std::stod(course.rating) + 0.05);
        values[27] = rating;
    }
    values[4] = course.fax;
    values[5] = Join(course.carAccess, " ");
    Lines acceptedTags;
    for (const std::string& tag : course.tags) {
        if (tag.find("不可") == std::string::npos) {
            acceptedTags.push_back(tag);
        }
    }
    values[8] = Join(acceptedTags, "、");
    for (const auto& [label, pieces] : course.facts) {
        const int column = ColumnForLabel(A(label));
        if (column >= 0) {
            values[column] = Join(pieces, " ");
        }
    }
    values[26] = data && course.closed ? "閉鎖" : "運営中";
    values[28] = std::to_string(course.reviewCount) + "件";
    if (course.reviewCount > 0) {
        values[29] = "https://" + host + "/voice/detail/c_id/" + course.id;
    }
    values[30] = "https://" + host + "/guide/disp/c_id/" + course.id;
    return values;
}

constexpr int kTokyo = 12;
constexpr int kKanagawa = 13;
constexpr int kNiigata = 14;
constexpr int kTottori = 30;  // a prefecture without courses on the demo portal

}  // namespace

TEST(HarvestRun, WritesEveryCourseOfTheGeneratedPortalExactly) {
    PortalProcess portal({{"--courses-per-prefecture", "12"}, {}, {}});
    const portal::CourseCatalog catalog({1, 12});
    RunHarness harness(portal);
    harness.Run({kTottori, kTokyo, 0});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1u + 2 * 12);
    EXPECT_EQ(lines[0], CsvHeaderLine());
    bool sawClosed = false;
    bool sawWithoutData = false;
    bool sawEveryColumn = false;
    std::size_t line = 1;
    for (const int prefecture : {0, kTokyo}) {
        for (int number = 0; number < 12; ++number, ++line) {
            const portal::GeneratedCourse course = catalog.Course(prefecture, number);
            const Lines values = CourseValues(lines[line]);
            EXPECT_EQ(values, ExpectedValues(course, portal.host())) << "course " << course.id;
            sawClosed = sawClosed || (course.closed && course.hasStructuredData);
            sawWithoutData = sawWithoutData || !course.hasStructuredData;
            sawEveryColumn =
                sawEveryColumn || std::none_of(values.begin(), values.end(),
                                               [](const std::string& v) { return v.empty(); });
        }
    }
    EXPECT_TRUE(sawClosed && sawWithoutData && sawEveryColumn)
        << "the demo data no longer has a closed course, a course without structured data and a "
           "course with every column filled among these prefectures";

    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);
    EXPECT_EQ(harness.run.failure, "");
    EXPECT_FALSE(harness.observer.runningAtEnd);
    EXPECT_FALSE(harness.observer.scratchAtEnd);
    Lines expectedCalls = {"start 3", "step 北海道"};
    for (int k = 1; k <= 12; ++k) {
        expectedCalls.push_back("status 北海道 " + std::to_string(k) + "/12");
    }
    expectedCalls.push_back("step 東京都");
    for (int k = 1; k <= 12; ++k) {
        expectedCalls.push_back("status 東京都 " + std::to_string(k) + "/12");
    }
    expectedCalls.insert(expectedCalls.end(), {"step 鳥取県", "status 鳥取県 0/0", "ended"});
    EXPECT_EQ(harness.observer.calls, expectedCalls);
}

TEST(HarvestRun, FailedDetailDownloadGivesADefaultLineNotThePreviousCourse) {
    TempDir pages;
    const std::string card =
        "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/%s/?rt=1\">x</a>\n";
    std::string listing;
    for (const char* id : {"1001", "x-reset", "1001", "x-stall-head"}) {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, card.c_str(), id);
        listing += buffer;
    }
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", listing);
    WriteFileBytes(pages.path() / "detail" / "1001.html",
                   StructuredData(R"("name":"青葉","image":"i","telephone":"03-1","x":1)") + "\n");
    PortalProcess portal({{"--stall-seconds", "10"}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 5u);
    const auto expectedLine = [&](const std::string& id, const std::string& name,
                                  const std::string& telephone) {
        CourseRecord record;
        record[kColumnName] = A(name);
        record[kColumnTelephone] = telephone;
        record[kColumnDetailUrl] = "https://" + portal.host() + "/guide/disp/c_id/" + id;
        return CourseLine(record);
    };
    EXPECT_EQ(lines[1], expectedLine("1001", "青葉", "03-1"));
    EXPECT_EQ(lines[2], expectedLine("x-reset", "", ""));
    EXPECT_EQ(lines[3], lines[1]);
    EXPECT_EQ(lines[4], expectedLine("x-stall-head", "", ""));
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);
    EXPECT_TRUE(harness.run.downloadFailed);
}

TEST(HarvestRun, PrefectureWithoutCoursesLeavesOnlyTheHeader) {
    PortalProcess portal;
    RunHarness harness(portal);
    harness.Run({kTottori});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.run.resultCode, kResultNoRow);
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 鳥取県", "status 鳥取県 0/0", "ended"}));
}

TEST(HarvestRun, UnreachablePortalEndsWithSiteUnreachable) {
    const ClosedLoopbackPort closed;
    RunHarness harness(closed.host(), {});
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.run.resultCode, kResultSiteUnreachable);
    EXPECT_NE(harness.run.lastFetchFailure, "");
    EXPECT_EQ(harness.observer.calls, (Lines{"start 2", "step 東京都", "status 東京都 0/0",
                                             "step 神奈川県", "status 神奈川県 0/0", "ended"}));
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

TEST(HarvestRun, StopDuringTheSecondPrefectureKeepsTheFinishedRows) {
    PortalProcess portal({{"--courses-per-prefecture", "4"}, {}, {}});
    RunHarness harness(portal);
    harness.observer.onStatus = [](HarvestRun& run) {
        if (U(run.currentPrefecture) == "神奈川県" && run.courseIndex == 2) {
            run.stop.Request();
        }
    };
    harness.Run({kNiigata, kKanagawa, kTokyo});

    // Tokyo's four courses, then Kanagawa's first two: the course in progress
    // when the stop came is still written, and written whole.
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1u + 4 + 2);
    const portal::CourseCatalog catalog({1, 4});
    for (int number = 0; number < 4; ++number) {
        EXPECT_EQ(CourseValues(lines[1 + number]),
                  ExpectedValues(catalog.Course(kTokyo, number), portal.host()));
    }
    EXPECT_EQ(CourseValues(lines[5]), ExpectedValues(catalog.Course(kKanagawa, 0), portal.host()));
    EXPECT_EQ(CourseValues(lines[6]), ExpectedValues(catalog.Course(kKanagawa, 1), portal.host()));
    EXPECT_EQ(harness.observer.calls.back(), "ended");
    EXPECT_EQ(
        std::count(harness.observer.calls.begin(), harness.observer.calls.end(), "step 新潟県"), 0);
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);
    EXPECT_FALSE(harness.observer.runningAtEnd);
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

TEST(HarvestRun, StopBeforeTheFirstCrawlStillFetchesItsListingOnly) {
    PortalProcess portal({{"--courses-per-prefecture", "3"}, {}, {}});
    RunHarness harness(portal);
    harness.observer.onStep = [](HarvestRun& run) { run.stop.Request(); };
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 2", "step 東京都", "status 東京都 0/0", "ended"}));
    const std::vector<PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/doc/area/tokyo/?sort=kana&page=1");
}

TEST(HarvestRun, OutputFileThatCannotBeCreatedIsReportedAndNothingIsFetched) {
    PortalProcess portal;
    RunHarness harness(portal);
    WriteFileBytes(harness.dir.path() / "not-a-folder", "x");
    harness.run.outputPath = harness.dir.path() / "not-a-folder" / "out.csv";
    harness.Run({kTokyo});
    EXPECT_NE(harness.run.failure.find("not-a-folder"), std::string::npos) << harness.run.failure;
    EXPECT_EQ(harness.observer.calls, (Lines{"ended"}));
    EXPECT_EQ(harness.run.resultCode, kResultNoRow);
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_FALSE(harness.observer.runningAtEnd);
}

TEST(HarvestRun, SecondRunReplacesTheFileAndContinuesTheAgentSequence) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    const std::size_t firstRunRequests = portal.requests().size();
    HarvestRun& run = harness.run;
    run.stop.Reset();
    run.rowsWritten = 0;
    harness.observer.calls.clear();
    harness.Run({kTottori});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");

    const std::vector<PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), firstRunRequests + 1);
    UserAgentGenerator fresh;
    for (const PortalRequest& request : requests) {
        EXPECT_EQ(request.userAgent, UserAgentTable[fresh.NextIndex()]);
    }
}

TEST(HarvestRun, PortalSettingThatCouldChangeTheRequestIsRefusedBeforeAnything) {
    RunHarness harness("127.0.0.1/other/path?", {});
    harness.Run({kTokyo});
    EXPECT_NE(harness.run.failure.find("ListingHost"), std::string::npos) << harness.run.failure;
    EXPECT_EQ(harness.observer.calls, (Lines{"ended"}));
    EXPECT_FALSE(std::filesystem::exists(harness.run.outputPath));
    EXPECT_EQ(harness.run.resultCode, kResultNoRow);
}
