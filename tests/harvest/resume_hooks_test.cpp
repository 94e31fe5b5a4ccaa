// What a run that continues an earlier file relies on: courses whose lines
// the caller keeps cost no request and no line and count as done, and a row
// is on the disk before the pause after its page.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;

namespace {

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

    // The earlier file holds courses 1 and 3; the run continues it.
    RunHarness harness(portal);
    const std::string earlier =
        wholeLines[0] + "\r\n" + wholeLines[1] + "\r\n" + wholeLines[3] + "\r\n";
    WriteFileBytes(harness.output.path, earlier);
    harness.output.resume = true;
    const std::size_t before = portal.requests().size();
    harness.Run({kTokyo});

    EXPECT_EQ(DetailRequests(portal, before),
              (Lines{"/guide/disp/c_id/113002", "/guide/disp/c_id/113004"}));
    // The courses in listing order, as an uninterrupted run writes them.
    EXPECT_EQ(harness.Csv(), whole.Csv());
    const HarvestReport& report = harness.Report();
    EXPECT_EQ(report.coursesKept, 2);
    EXPECT_EQ(report.rowsWritten, 2);
    EXPECT_EQ(report.ending, RunEnding::Finished);
    EXPECT_EQ(report.files, FileOutcome::ResumedFileInPlace);
    EXPECT_FALSE(std::filesystem::exists(report.partialPath));
    // Kept courses step the counter like the others.
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 東京都", "status 東京都 1/4", "status 東京都 2/4",
                     "status 東京都 3/4", "status 東京都 4/4", "ended"}));
}

TEST(KeptCourses, EveryCourseKeptIsARunWithRowsEvenWhenThePortalGoesAway) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness whole(portal);
    whole.Run({kTokyo});
    RunHarness harness(portal);
    WriteFileBytes(harness.output.path, whole.Csv());
    harness.output.resume = true;
    // The next prefecture's listing cannot reach the portal.
    harness.observer.onStep = [&](const HarvestReport& report) {
        if (U(report.currentPrefecture) == "神奈川県") {
            portal.stop();
        }
    };
    harness.Run({kTokyo, kKanagawa});

    EXPECT_EQ(harness.Csv(), whole.Csv());
    const HarvestReport& report = harness.Report();
    EXPECT_EQ(report.coursesKept, 2);
    EXPECT_EQ(report.rowsWritten, 0);
    EXPECT_EQ(report.ending, RunEnding::Finished);  // not "unreachable"
    ASSERT_EQ(report.pageFailures.size(), 1u);
    EXPECT_EQ(report.pageFailures[0].kind, PageKind::Listing);
    EXPECT_EQ(report.lastConnectionFailure.error, FetchError::Refused);
}

TEST(RowBeforePause, ACoursesRowIsInThePartialFileDuringThePauseAfterItsPage) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    // A pause far longer than any wait below: a run killed in it must
    // already have the row of the page it read.
    harness.settings.pauses.afterDetail = std::chrono::minutes(5);
    const std::filesystem::path partial = harness.output.path.string() + ".partial";
    std::atomic<bool> started{false};
    harness.observer.onStep = [&](const HarvestReport&) { started = true; };
    std::thread run([&] { harness.Run({kTokyo}); });
    const bool rowWritten = WaitUntil([&] {
        std::error_code ec;
        return std::filesystem::exists(partial, ec) &&
               ReadFileBytes(partial).find("113001") != std::string::npos;
    });
    WaitUntil([&] { return started.load(); });
    harness.Stop();
    run.join();
    EXPECT_TRUE(rowWritten) << "the row waited for the pause after its page";
    // The stop ended the pause; no second course.
    EXPECT_EQ(harness.Report().rowsWritten, 1);
    EXPECT_EQ(harness.CsvLines().size(), 2u);
}
