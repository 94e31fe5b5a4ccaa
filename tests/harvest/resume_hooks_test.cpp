// What a run that continues an earlier file relies on: courses whose lines
// the caller keeps cost no request and no line and count as done, and a row
// is on the disk before the pause after its page.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

// Keeps the courses it is given and records what it was asked.
class KeepSome : public KeptCourses {
  public:
    explicit KeepSome(std::set<std::string> kept) : kept_(std::move(kept)) {}
    bool Keep(const std::string& courseId) override {
        asked.push_back(courseId);
        return kept_.count(courseId) > 0;
    }
    Lines asked;

  private:
    std::set<std::string> kept_;
};

Lines DetailRequests(const PortalProcess& portal, std::size_t from) {
    Lines targets;
    const std::vector<PortalRequest> requests = portal.requests();
    for (std::size_t i = from; i < requests.size(); ++i) {
        if (requests[i].target.starts_with("/guide/disp/")) {
            targets.push_back(requests[i].target);
        }
    }
    return targets;
}

}  // namespace

TEST(KeptCourses, KeptCoursesCostNoRequestAndNoLine) {
    PortalProcess portal({{"--courses-per-prefecture", "4"}, {}, {}});
    RunHarness whole(portal);
    whole.Run({kTokyo});
    const Lines wholeLines = whole.CsvLines();
    ASSERT_EQ(wholeLines.size(), 5u);

    // The earlier file holds courses 1 and 3; the run adds to it.
    RunHarness harness(portal);
    const std::string earlier =
        wholeLines[0] + "\r\n" + wholeLines[1] + "\r\n" + wholeLines[3] + "\r\n";
    WriteFileBytes(harness.run.outputPath, earlier);
    KeepSome keep({"113001", "113003"});
    harness.run.keptCourses = &keep;
    harness.run.outputOptions.append = true;
    const std::size_t before = portal.requests().size();
    harness.Run({kTokyo});

    EXPECT_EQ(keep.asked, (Lines{"113001", "113002", "113003", "113004"}));
    EXPECT_EQ(DetailRequests(portal, before),
              (Lines{"/guide/disp/c_id/113002", "/guide/disp/c_id/113004"}));
    EXPECT_EQ(harness.Csv(), earlier + wholeLines[2] + "\r\n" + wholeLines[4] + "\r\n");
    EXPECT_EQ(harness.run.coursesKept, 2);
    EXPECT_EQ(harness.run.rowsWritten, 2);
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);
    // Kept courses step the counter like the others.
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 東京都", "status 東京都 1/4", "status 東京都 2/4",
                     "status 東京都 3/4", "status 東京都 4/4", "ended"}));
}

TEST(KeptCourses, EveryCourseKeptIsARunWithRowsEvenWhenThePortalGoesAway) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    WriteFileBytes(harness.run.outputPath, CsvHeaderLine() + "\r\n");
    KeepSome keep({"113001", "113002"});
    harness.run.keptCourses = &keep;
    harness.run.outputOptions.append = true;
    // The next prefecture's listing cannot reach the portal.
    harness.observer.onStep = [&](HarvestRun& run) {
        if (U(run.currentPrefecture) == "神奈川県") {
            portal.stop();
        }
    };
    harness.Run({kTokyo, kKanagawa});

    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");  // no header line added
    EXPECT_EQ(harness.run.coursesKept, 2);
    EXPECT_EQ(harness.run.rowsWritten, 0);
    EXPECT_TRUE(harness.run.downloadFailed);
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);  // not "unreachable"
    ASSERT_EQ(harness.run.pageFailures.size(), 1u);
    EXPECT_EQ(harness.run.pageFailures[0].kind, PageKind::Listing);
}

TEST(KeptCourses, AFailedPageInAFileAddedToHasNoLineNumber) {
    TempDir pages;
    WriteFileBytes(pages.path() / "listing" / "tokyo.html",
                   "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/x-status-404/?rt=1\">"
                   "x</a>\n");
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    WriteFileBytes(harness.run.outputPath,
                   CsvHeaderLine() + "\r\n" + CourseLine(CourseRecord()) + "\r\n");
    harness.run.outputOptions.append = true;
    harness.Run({kTokyo});
    ASSERT_EQ(harness.run.pageFailures.size(), 1u);
    // Line 3 of this file, but the caller puts the file together anew.
    EXPECT_EQ(harness.run.pageFailures[0].csvLine, 0);
    EXPECT_EQ(harness.CsvLines().size(), 3u);
}

TEST(RowBeforePause, ACoursesRowIsInTheFileDuringThePauseAfterItsPage) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    // A pause far longer than any wait below: a run killed in it must
    // already have the row of the page it read.
    harness.settings.pauses.afterDetail = std::chrono::minutes(5);
    std::thread run([&] { harness.Run({kTokyo}); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool rowWritten = false;
    while (!rowWritten && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rowWritten = std::filesystem::exists(harness.run.outputPath) &&
                     harness.Csv().find("113001") != std::string::npos;
    }
    harness.run.stop.Request();
    run.join();
    EXPECT_TRUE(rowWritten) << "the row waited for the pause after its page";
    EXPECT_EQ(harness.run.rowsWritten, 1);  // the stop ended the pause; no second course
}
