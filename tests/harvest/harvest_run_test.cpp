// Whole runs of the engine with the real fetcher against a real demo portal.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

#include "JournalCodec.h"
#include "OutputReader.h"
#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;
using namespace std::chrono_literals;

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

    EXPECT_EQ(harness.Report().ending, RunEnding::Finished);
    EXPECT_EQ(harness.Report().files, FileOutcome::NewFileInPlace);
    EXPECT_FALSE(harness.Report().failure);
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

TEST(HarvestRun, FailedDetailDownloadGivesAnEmptyLineNotThePreviousCourse) {
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
        if (telephone.empty()) {
            record[kColumnState].clear();  // not read: no state poses as the course's
        }
        record[kColumnDetailUrl] = "https://" + portal.host() + "/guide/disp/c_id/" + id;
        return CourseLine(record);
    };
    EXPECT_EQ(lines[1], expectedLine("1001", "青葉", "03-1"));
    EXPECT_EQ(lines[2], expectedLine("x-reset", "", ""));
    EXPECT_EQ(lines[3], lines[1]);
    EXPECT_EQ(lines[4], expectedLine("x-stall-head", "", ""));
    EXPECT_EQ(harness.Report().ending, RunEnding::Finished);
    // Both are named, with what went wrong.
    const std::vector<PageFailure>& failures = harness.Report().pageFailures;
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].subject, "x-reset");
    EXPECT_EQ(failures[0].error, FetchError::ConnectionReset);
    EXPECT_EQ(failures[0].attempts, 3);
    EXPECT_EQ(failures[1].subject, "x-stall-head");
    EXPECT_EQ(failures[1].error, FetchError::TimedOut);
}

TEST(HarvestRun, PrefectureWithoutCoursesLeavesOnlyTheHeader) {
    PortalProcess portal;
    RunHarness harness(portal);
    harness.Run({kTottori});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.Report().ending, RunEnding::NothingFound);
    EXPECT_EQ(harness.Report().files, FileOutcome::HeaderOnlyFile);
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 鳥取県", "status 鳥取県 0/0", "ended"}));
}

TEST(HarvestRun, UnreachablePortalEndsWithSiteUnreachable) {
    const ClosedLoopbackPort closed;
    RunHarness harness(closed.host(), {});
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.Report().ending, RunEnding::Unreachable);
    EXPECT_EQ(harness.Report().lastConnectionFailure.error, FetchError::Refused);
    // Each listing page is a page that could not be read.
    const std::vector<PageFailure>& failures = harness.Report().pageFailures;
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(U(failures[1].subject), "神奈川県");
    EXPECT_EQ(failures[1].kind, PageKind::Listing);
    EXPECT_EQ(harness.observer.calls, (Lines{"start 2", "step 東京都", "status 東京都 0/0",
                                             "step 神奈川県", "status 神奈川県 0/0", "ended"}));
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

// A portal that cannot be connected to ends the run after five pages in a
// row, not after every prefecture's attempts; a page that answers starts the
// count again.
TEST(HarvestRun, FivePagesInARowThatCannotBeConnectedToEndTheRun) {
    const ClosedLoopbackPort closed;
    RunHarness unreachable(closed.host(), {});
    unreachable.Run({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(unreachable.Report().ending, RunEnding::Unreachable);
    EXPECT_EQ(unreachable.Report().pageFailures.size(), 5u);
    EXPECT_EQ(unreachable.observer.calls.size(), 1u + 2 * 5 + 1);

    PortalProcess portal({{"--courses-per-prefecture", "4"}, {}, {}});
    RunHarness harness(portal);
    harness.settings.portal.bookingHost = closed.host();
    harness.Run({0, 1, 2});
    // Four courses a prefecture: each listing page answers in between.
    EXPECT_EQ(harness.Report().ending, RunEnding::Finished);
    EXPECT_EQ(harness.Report().pageFailures.size(), 12u);
    EXPECT_EQ(portal.requests().size(), 3u);
}

TEST(HarvestRun, StopBeforeACourseDownloadKeepsTheRowsBeforeIt) {
    PortalProcess portal({{"--courses-per-prefecture", "4"}, {}, {}});
    RunHarness harness(portal);
    harness.observer.onStatus = [&harness](const HarvestReport& report) {
        if (U(report.currentPrefecture) == "神奈川県" && report.courseIndex == 2) {
            harness.Stop();
        }
    };
    harness.Run({kNiigata, kKanagawa, kTokyo});

    // Tokyo's four courses, then Kanagawa's first: the second course's page
    // was never asked for, so it has no row.
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1u + 4 + 1);
    const portal::CourseCatalog catalog({1, 4});
    for (int number = 0; number < 4; ++number) {
        EXPECT_EQ(CourseValues(lines[1 + number]),
                  ExpectedValues(catalog.Course(kTokyo, number), portal.host()));
    }
    EXPECT_EQ(CourseValues(lines[5]), ExpectedValues(catalog.Course(kKanagawa, 0), portal.host()));
    EXPECT_EQ(harness.observer.calls.back(), "ended");
    EXPECT_EQ(
        std::count(harness.observer.calls.begin(), harness.observer.calls.end(), "step 新潟県"), 0);
    EXPECT_EQ(harness.Report().ending, RunEnding::Stopped);
    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

TEST(HarvestRun, StopAfterACoursePageArrivedStillWritesItsRow) {
    PortalProcess portal({{"--courses-per-prefecture", "3"}, {}, {}});
    RunHarness harness(portal);
    // A long pause after each course: the stop comes while the first
    // course's page waits in the scratch file.
    harness.settings.pauses.afterDetail = 60s;
    std::thread stopper;
    harness.observer.onStatus = [&](const HarvestReport& report) {
        if (report.courseIndex != 1) {
            return;
        }
        stopper = std::thread([&harness] {
            // Ends at the latest when the run ends, which requests a stop.
            while (!harness.live.load()->StopRequested()) {
                std::error_code ec;
                if (std::filesystem::file_size(harness.scratchPath, ec) > 50'000 && !ec) {
                    harness.Stop();  // a detail page is there, not the listing
                }
                std::this_thread::yield();
            }
        });
    };
    const auto started = std::chrono::steady_clock::now();
    harness.Run({kTokyo});
    stopper.join();

    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s) << "the pause was not cut short";
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 2u);
    const portal::CourseCatalog catalog({1, 3});
    EXPECT_EQ(CourseValues(lines[1]), ExpectedValues(catalog.Course(kTokyo, 0), portal.host()));
}

TEST(HarvestRun, StopBeforeTheFirstCrawlAsksForNothing) {
    PortalProcess portal({{"--courses-per-prefecture", "3"}, {}, {}});
    RunHarness harness(portal);
    harness.observer.onStep = [&harness](const HarvestReport&) { harness.Stop(); };
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 2", "step 東京都", "status 東京都 0/0", "ended"}));
    EXPECT_TRUE(portal.requests().empty());
    EXPECT_TRUE(harness.Report().pageFailures.empty());
}

TEST(HarvestRun, OutputFileThatCannotBeCreatedIsReportedAndNothingIsFetched) {
    PortalProcess portal;
    RunHarness harness(portal);
    WriteFileBytes(harness.dir.path() / "not-a-folder", "x");
    harness.output.path = harness.dir.path() / "not-a-folder" / "out.csv";
    harness.Run({kTokyo});
    const RunFailure& failure = harness.Report().failure;
    EXPECT_EQ(failure.kind, RunFailureKind::OutputNotCreated);
    EXPECT_EQ(failure.error, std::errc::not_a_directory) << failure.error.message();
    EXPECT_EQ(harness.observer.calls, (Lines{"ended"}));
    EXPECT_EQ(harness.Report().ending, RunEnding::Failed);
    EXPECT_EQ(harness.Report().files, FileOutcome::NotTouched);
    EXPECT_TRUE(portal.requests().empty());
}

TEST(HarvestRun, SecondRunReplacesTheFileAndContinuesTheAgentSequence) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});
    const std::size_t firstRunRequests = portal.requests().size();
    const std::string firstFile = harness.Csv();
    harness.observer.calls.clear();
    harness.Run({kTottori});
    // Nothing found keeps the earlier file.
    EXPECT_EQ(harness.Csv(), firstFile);
    EXPECT_EQ(harness.Report().ending, RunEnding::NothingFound);
    EXPECT_EQ(harness.Report().files, FileOutcome::LeftAsBefore);

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
    const RunFailure& failure = harness.Report().failure;
    EXPECT_EQ(failure.kind, RunFailureKind::InvalidPortalSetting);
    EXPECT_NE(failure.detail.find("ListingHost"), std::string::npos) << failure.detail;
    EXPECT_EQ(harness.observer.calls, (Lines{"ended"}));
    EXPECT_FALSE(std::filesystem::exists(harness.output.path));
}

namespace {

// The connection numbers of the portal's requests, in order.
Lines ConnectionsOf(const PortalProcess& portal) {
    Lines connections;
    for (const PortalRequest& request : portal.requests()) {
        connections.push_back(request.connection);
    }
    return connections;
}

}  // namespace

TEST(HarvestRun, ARunKeepsOneConnectionAndTheNextRunOpensItsOwn) {
    PortalProcess portal;  // 20 courses a prefecture, one listing page each
    RunHarness harness(portal);
    harness.Run({kTokyo, kKanagawa});
    EXPECT_EQ(harness.Report().rowsWritten, 40);
    EXPECT_EQ(ConnectionsOf(portal), Lines(2 + 40, "1"));

    harness.Run({kTokyo});
    const Lines connections = ConnectionsOf(portal);
    ASSERT_EQ(connections.size(), 42u + 21u);
    EXPECT_EQ(Lines(connections.begin() + 42, connections.end()), Lines(21, "2"));
}

TEST(HarvestRun, ConnectionsThePortalEndsCostNoPage) {
    PortalProcess portal({{"--courses-per-prefecture", "5", "--keep-alive-requests", "3"}, {}, {}});
    const portal::CourseCatalog catalog({1, 5});
    RunHarness harness(portal);
    harness.Run({kTokyo, kKanagawa});

    EXPECT_TRUE(harness.Report().pageFailures.empty());
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1u + 2 * 5);
    std::size_t line = 1;
    for (const int prefecture : {kTokyo, kKanagawa}) {
        for (int number = 0; number < 5; ++number, ++line) {
            const portal::GeneratedCourse course = catalog.Course(prefecture, number);
            EXPECT_EQ(CourseValues(lines[line]), ExpectedValues(course, portal.host()));
        }
    }
    // Twelve requests, three to a connection, each sent once.
    const Lines connections = ConnectionsOf(portal);
    EXPECT_EQ(connections, (Lines{"1", "1", "1", "2", "2", "2", "3", "3", "3", "4", "4", "4"}));
}

TEST(HarvestRun, ACourseRowIsWrittenWhileItsPauseRunsAndTheNextRequestWaits) {
    PortalProcess portal({{"--courses-per-prefecture", "3"}, {}, {}});
    RunHarness harness(portal);
    harness.settings.pauses.afterDetail = 60s;
    std::thread watcher;
    bool rowWhilePausing = false;
    const std::filesystem::path partial = harness.output.path.string() + ".partial";
    harness.observer.onStatus = [&](const HarvestReport& report) {
        if (report.courseIndex != 1) {
            return;
        }
        watcher = std::thread([&] {
            rowWhilePausing = WaitUntil(
                [&] {
                    std::error_code ec;
                    return std::filesystem::file_size(partial, ec) > CsvHeaderLine().size() + 2;
                },
                30s);
            harness.Stop();
        });
    };
    harness.Run({kTokyo});
    watcher.join();

    EXPECT_TRUE(rowWhilePausing) << "the first course's row waited for its pause";
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 2u);
    const portal::CourseCatalog catalog({1, 3});
    EXPECT_EQ(CourseValues(lines[1]), ExpectedValues(catalog.Course(kTokyo, 0), portal.host()));
    // The second course was never asked for: its request waited for the pause.
    const std::vector<PortalRequest> requests = portal.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/guide/disp/c_id/113001");
}

TEST(HarvestRun, ARunWhoseCoursePagesAllFailKeepsEachEarlierRowAsItWas) {
    // The demo portal's first Tokyo courses as fixture pages.
    const portal::CourseCatalog catalog({1, 5});
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                   portal::CourseCatalog({1, 4}).ListingPage(kTokyo, 1));
    for (int number = 0; number < 4; ++number) {
        const portal::GeneratedCourse course = catalog.Course(kTokyo, number);
        WriteFileBytes(pages.path() / "detail" / (course.id + ".html"), catalog.DetailPage(course));
    }
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.output.path = harness.dir.path() / "out.jsonl";
    harness.output.format = OutputFormat::Jsonl;
    const auto entries = [&] {
        std::vector<CourseEntry> read;
        std::string error;
        EXPECT_TRUE(ReadOutputFile(harness.output.path, read, error)) << error;
        return read;
    };
    harness.Run({kTokyo});
    // The earlier file as a run of another day wrote it. Course 3's page has
    // no structured data: its name is its card's.
    std::vector<CourseEntry> earlier = entries();
    ASSERT_EQ(earlier.size(), 4u);
    EXPECT_EQ(U(earlier[3].record[kColumnName]),
              Replaced(catalog.Course(kTokyo, 3).name, "（閉鎖）", ""));
    std::string file;
    for (CourseEntry& entry : earlier) {
        entry.fetchedAt = "2026-11-09T06:00:00+09:00";
        file += JournalCodecFor(OutputFormat::Jsonl).Line(entry) + "\n";
    }
    WriteFileBytes(harness.output.path, file);

    // Maintenance: no course page answers, and a fifth course is listed.
    std::filesystem::remove_all(pages.path() / "detail");
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", catalog.ListingPage(kTokyo, 1));
    harness.Run({kTokyo});
    EXPECT_EQ(harness.Report().files, FileOutcome::NewFileInPlace);
    const std::vector<CourseEntry> after = entries();
    ASSERT_EQ(after.size(), 5u);
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        EXPECT_EQ(after[i].record.values, earlier[i].record.values) << i;
        EXPECT_EQ(after[i].fetchedAt, earlier[i].fetchedAt) << i;
    }
    // The new course: its card's name and page, not even an operating state.
    EXPECT_EQ(U(after[4].record[kColumnName]), catalog.Course(kTokyo, 4).name);
    EXPECT_EQ(after[4].record[kColumnState], "");
    EXPECT_EQ(after[4].record[kColumnTelephone], "");
    const std::vector<PageFailure>& failures = harness.Report().pageFailures;
    ASSERT_EQ(failures.size(), 5u);
    for (std::size_t i = 0; i < failures.size(); ++i) {
        EXPECT_EQ(failures[i].keptEarlierRow, i < 4) << i;
    }
}

TEST(HarvestRun, TheHistoryKeepsACsvRunsFetchStatesAndNotARunThatPlacedNothing) {
    const portal::CourseCatalog catalog({1, 5});
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                   portal::CourseCatalog({1, 4}).ListingPage(kTokyo, 1));
    for (int number = 0; number < 4; ++number) {
        const portal::GeneratedCourse course = catalog.Course(kTokyo, number);
        WriteFileBytes(pages.path() / "detail" / (course.id + ".html"), catalog.DetailPage(course));
    }
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.historyFolder = harness.dir.path() / "history";
    harness.Run({kTokyo});
    ASSERT_EQ(harness.Report().history, HistoryKeeping::Kept) << harness.Report().historyProblem;

    // No course page answers, and a fifth course is listed: the code-page-932
    // CSV cannot tell a kept row from a read one, the history can.
    std::filesystem::remove_all(pages.path() / "detail");
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", catalog.ListingPage(kTokyo, 1));
    harness.Run({kTokyo});
    ASSERT_EQ(harness.Report().history, HistoryKeeping::Kept) << harness.Report().historyProblem;
    const std::vector<history::RunEntry> runs = history::ListRuns(harness.historyFolder);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].id, harness.Report().historyEntry->id);
    EXPECT_EQ(runs[0].courses, 5u);
    EXPECT_EQ(runs[0].failed, 1u);
    EXPECT_EQ(runs[0].prefectures, std::vector<int>{kTokyo + 1});
    std::vector<CourseEntry> kept;
    std::string error;
    ASSERT_TRUE(ReadOutputFile(runs[0].records, kept, error)) << error;
    ASSERT_EQ(kept.size(), 5u);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].fetchStatus, i < 4 ? CourseFetch::Kept : CourseFetch::Failed) << i;
        EXPECT_EQ(kept[i].prefecture, "東京都") << i;
    }

    // Nothing found: the file at the path stays, and the history too.
    harness.Run({kTottori});
    EXPECT_EQ(harness.Report().history, HistoryKeeping::NotAsked);
    EXPECT_EQ(history::ListRuns(harness.historyFolder).size(), 2u);
}
