// Pages that fail on the way: tried again after a transient failure, waits as
// the answer's Retry-After says, failures named in the run with rows that hold
// only the card's name, a stop that ends a stalled download, and a scratch file that
// cannot be written.
#include <gtest/gtest.h>

#include <thread>

#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;
using namespace std::chrono_literals;

namespace {

// A listing page with one course card per identifier, in order.
std::string ListingOf(const Lines& courseIds) {
    std::string page = "<html><body><ul>\n";
    for (const std::string& id : courseIds) {
        page += "<h2 class=\"gf-card-name\">\n<a href=\"/guide/disp/c_id/" + id +
                "/?rt=1\">x</a>\n</h2>\n";
    }
    return page + "</ul></body></html>\n";
}

// Fixture pages: course 1001 (青葉, 03-1) and the listing of Tokyo.
class FixturePortal {
  public:
    explicit FixturePortal(const Lines& tokyoCards) {
        WriteFileBytes(pages_.path() / "listing" / "tokyo.html", ListingOf(tokyoCards));
        WriteFileBytes(
            pages_.path() / "detail" / "1001.html",
            StructuredData(R"("name":"青葉","image":"i","telephone":"03-1","x":1)") + "\n");
    }
    const std::filesystem::path& Pages() const { return pages_.path(); }

  private:
    TempDir pages_;
};

// The row of course 1001's page, reached under `id`.
std::string RowOf1001(const std::string& host, const std::string& id) {
    CourseRecord record;
    record[kColumnName] = A("青葉");
    record[kColumnTelephone] = "03-1";
    record[kColumnDetailUrl] = "https://" + host + "/guide/disp/c_id/" + id;
    return CourseLine(record);
}

// The row of a course whose page could not be read and that no earlier file
// holds: its card's name (x), no operating state, its detail-page URL.
std::string FailedRowOf(const std::string& host, const std::string& id) {
    CourseRecord record;
    record[kColumnName] = "x";
    record[kColumnState].clear();
    record[kColumnDetailUrl] = "https://" + host + "/guide/disp/c_id/" + id;
    return CourseLine(record);
}

// The targets the portal received after the listing, in order.
Lines DetailTargets(const PortalProcess& portal) {
    Lines targets;
    for (const PortalRequest& request : portal.requests()) {
        if (request.target.starts_with("/guide/disp/c_id/")) {
            targets.push_back(request.target.substr(std::string("/guide/disp/c_id/").size()));
        }
    }
    return targets;
}

}  // namespace

TEST(HarvestRetries, EachTransientFaultRecoversOnALaterAttempt) {
    const Lines cards = {"x-flaky-1-503-1001",  "x-flaky-2-500-1001",   "x-flaky-1-408-1001",
                         "x-flaky-1-425-1001",  "x-flaky-1-429-1001",   "x-flaky-1-502-1001",
                         "x-flaky-2-504-1001",  "x-flaky-1-reset-1001", "x-flaky-2-truncate-1001",
                         "x-flaky-1-stall-1001"};
    FixturePortal pages(cards);
    PortalProcess portal({{"--stall-seconds", "20"}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1 + cards.size());
    for (std::size_t i = 0; i < cards.size(); ++i) {
        EXPECT_EQ(lines[1 + i], RowOf1001(portal.host(), cards[i])) << cards[i];
    }
    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_EQ(harness.Report().ending, RunEnding::Finished);

    // One request at a time: each page until it came, then the next.
    Lines withRetries;
    for (const std::string& card : cards) {
        const bool twice = card.starts_with("x-flaky-2-");
        withRetries.insert(withRetries.end(), twice ? 3 : 2, card);
    }
    EXPECT_EQ(DetailTargets(portal), withRetries);
    // Each attempt draws its agent like any request.
    UserAgentGenerator fresh;
    for (const PortalRequest& request : portal.requests()) {
        EXPECT_EQ(request.userAgent, UserAgentTable[fresh.NextIndex()]) << request.target;
    }
}

// The observer hears of each retry before its wait: which retry of the page
// it is and how long the wait is (the policy's, or Retry-After up to the cap).
TEST(HarvestRetries, EachRetryIsReportedBeforeItsWait) {
    const Lines cards = {"x-flaky-2-503-1001", "x-flaky-1-503-after-3600-1001"};
    FixturePortal pages(cards);
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.retries.waits = {10ms, 20ms};
    harness.settings.retries.retryAfterCap = 30ms;
    harness.Run({kTokyo});

    EXPECT_TRUE(harness.Report().pageFailures.empty());
    const auto& retries = harness.observer.retries;
    ASSERT_EQ(retries.size(), 3u);
    const std::vector<std::pair<int, std::chrono::milliseconds>> expected{
        {1, 10ms}, {2, 20ms}, {1, 30ms}};
    for (std::size_t i = 0; i < retries.size(); ++i) {
        EXPECT_EQ(retries[i].retry, expected[i].first) << i;
        EXPECT_EQ(retries[i].wait, expected[i].second) << i;
        EXPECT_TRUE(retries[i].url.ends_with(cards[i < 2 ? 0 : 1])) << retries[i].url;
    }
}

TEST(HarvestRetries, RetryAfterSetsTheWaitUpToItsCap) {
    const Lines cards = {"x-flaky-1-503-after-2-1001", "x-flaky-1-429-at-3-1001",
                         "x-flaky-1-503-after-3600-1001", "1001"};
    FixturePortal pages(cards);
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.retries.waits = {0ms, 0ms};  // only Retry-After makes a wait
    harness.settings.retries.retryAfterCap = 2s;
    std::vector<std::chrono::steady_clock::time_point> courseStarts;
    harness.observer.onStatus = [&](const HarvestReport&) {
        courseStarts.push_back(std::chrono::steady_clock::now());
    };
    harness.Run({kTokyo});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 1 + cards.size());
    for (std::size_t i = 0; i < cards.size(); ++i) {
        EXPECT_EQ(lines[1 + i], RowOf1001(portal.host(), cards[i])) << cards[i];
    }
    EXPECT_EQ(DetailTargets(portal),
              (Lines{cards[0], cards[0], cards[1], cards[1], cards[2], cards[2], cards[3]}));
    // The time each course took: at least the wait asked for (a date counts
    // in whole seconds), and an hour cut down to the cap.
    ASSERT_EQ(courseStarts.size(), 4u);
    EXPECT_GE(courseStarts[1] - courseStarts[0], 2s);
    EXPECT_GE(courseStarts[2] - courseStarts[1], 1s);
    EXPECT_GE(courseStarts[3] - courseStarts[2], 2s);
    EXPECT_LT(courseStarts[3] - courseStarts[2], 60s);
}

TEST(HarvestRetries, PagesThatCannotBeReadAreNamedAndKeepTheirRows) {
    const Lines cards = {"1001", "x-status-404", "x-flaky-3-503-1001", "x-redirect-loop", "1001"};
    FixturePortal pages(cards);
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], RowOf1001(portal.host(), "1001"));
    EXPECT_EQ(lines[2], FailedRowOf(portal.host(), "x-status-404"));
    EXPECT_EQ(lines[3], FailedRowOf(portal.host(), "x-flaky-3-503-1001"));
    EXPECT_EQ(lines[4], FailedRowOf(portal.host(), "x-redirect-loop"));
    EXPECT_EQ(lines[5], lines[1]);

    const std::vector<PageFailure>& failures = harness.Report().pageFailures;
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0].kind, PageKind::Detail);
    EXPECT_EQ(failures[0].subject, "x-status-404");
    EXPECT_EQ(failures[0].url, "https://" + portal.host() + "/guide/disp/c_id/x-status-404");
    EXPECT_EQ(failures[0].problem, PageProblem::HttpStatus);
    EXPECT_EQ(failures[0].httpStatus, 404);
    EXPECT_EQ(failures[0].attempts, 1);
    EXPECT_EQ(failures[1].subject, "x-flaky-3-503-1001");
    EXPECT_EQ(failures[1].httpStatus, 503);
    EXPECT_EQ(failures[1].attempts, 3);
    EXPECT_EQ(failures[2].subject, "x-redirect-loop");
    EXPECT_EQ(failures[2].problem, PageProblem::Fetch);
    EXPECT_EQ(failures[2].error, FetchError::BrokenAnswer) << failures[2].detail;
    EXPECT_EQ(failures[2].httpStatus, 302);
    EXPECT_EQ(harness.Report().ending, RunEnding::Finished);
    // The portal answered all along.
    EXPECT_TRUE(harness.Report().lastConnectionFailure.url.empty());

    // A 404 is asked for once, a 503 three times in all, a redirect loop once
    // (its request and the ten redirects that the fetcher follows).
    Lines expected = {"1001", "x-status-404", cards[2], cards[2], cards[2]};
    expected.insert(expected.end(), 11, "x-redirect-loop");
    expected.push_back("1001");
    EXPECT_EQ(DetailTargets(portal), expected);
}

TEST(HarvestRetries, AListingThatCannotBeReadIsAFailureOfItsPrefecture) {
    TempDir pages;  // no listing at all: every listing page answers 404
    std::filesystem::create_directories(pages.path() / "listing");
    PortalProcess portal({{}, pages.path(), {}});
    RunHarness harness(portal);
    harness.Run({kTokyo});

    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    ASSERT_EQ(harness.Report().pageFailures.size(), 1u);
    const PageFailure& failure = harness.Report().pageFailures[0];
    EXPECT_EQ(failure.kind, PageKind::Listing);
    EXPECT_EQ(failure.subject, A("東京都"));
    EXPECT_EQ(failure.url, "https://" + portal.host() + "/doc/area/tokyo/?sort=kana&page=1");
    EXPECT_EQ(failure.httpStatus, 404);
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 東京都", "status 東京都 0/0", "ended"}));
    EXPECT_EQ(harness.Report().ending, RunEnding::NothingFound);
}

TEST(HarvestRetries, AStopEndsAStalledDownloadPromptlyAndItsCourseWritesNoRow) {
    FixturePortal pages({"1001", "x-stall-head", "1001"});
    PortalProcess portal({{"--stall-seconds", "300"}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.fetch = FetchOptions{};  // the production time-outs: 30 s and more
    std::chrono::steady_clock::time_point stoppedAt;
    std::thread stopper([&] {
        const auto stalled = [&] {
            const Lines targets = DetailTargets(portal);
            return !targets.empty() && targets.back() == "x-stall-head";
        };
        WaitUntil(stalled);
        stoppedAt = std::chrono::steady_clock::now();
        harness.Stop();
    });
    harness.Run({kTokyo});
    const auto endedAt = std::chrono::steady_clock::now();
    stopper.join();

    EXPECT_LT(endedAt - stoppedAt, 5s) << "a generous bound: the stall alone lasts 300 s";
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], RowOf1001(portal.host(), "1001"));
    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

TEST(HarvestRetries, AStopEndsTheWaitBeforeTheNextAttempt) {
    FixturePortal pages({"x-flaky-1-503-1001", "1001"});
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.retries.waits = {300s};
    std::thread stopper([&] {
        WaitUntil([&] { return !DetailTargets(portal).empty(); });
        harness.Stop();
    });
    harness.Run({kTokyo});
    stopper.join();
    // The page was neither read nor found missing: no row, no failure.
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_EQ(DetailTargets(portal), Lines{"x-flaky-1-503-1001"});
}

TEST(HarvestRetries, AScratchFileThatCannotBeWrittenFailsTheRun) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    harness.scratchPath = harness.dir.path() / "missing" / "tmp.dat";
    harness.Run({kTokyo, kKanagawa});

    const RunFailure& failure = harness.Report().failure;
    EXPECT_EQ(failure.kind, RunFailureKind::ScratchFile);
    EXPECT_EQ(failure.path, harness.scratchPath);
    EXPECT_EQ(failure.error, std::errc::no_such_file_or_directory) << failure.error.message();
    // Never a row from an empty page, and no file without a row.
    EXPECT_FALSE(std::filesystem::exists(harness.output.path));
    EXPECT_EQ(harness.Report().files, FileOutcome::LeftAsBefore);
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 2", "step 東京都", "status 東京都 0/0", "ended"}));
    EXPECT_TRUE(harness.Report().pageFailures.empty());
    EXPECT_TRUE(portal.requests().empty());
}
