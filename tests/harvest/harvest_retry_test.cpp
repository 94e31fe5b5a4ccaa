// Pages that fail on the way: tried again after a transient failure, waits as
// the answer's Retry-After says, failures named in the run with their rows of
// defaults, a stop that ends a stalled download, and a scratch file that
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

std::string DefaultRowOf(const std::string& host, const std::string& id) {
    CourseRecord record;
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
    EXPECT_TRUE(harness.run.pageFailures.empty());
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);

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

TEST(HarvestRetries, RetryAfterSetsTheWaitUpToItsCap) {
    const Lines cards = {"x-flaky-1-503-after-2-1001", "x-flaky-1-429-at-3-1001",
                         "x-flaky-1-503-after-3600-1001", "1001"};
    FixturePortal pages(cards);
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.retries.waits = {0ms, 0ms};  // only Retry-After makes a wait
    harness.settings.retries.retryAfterCap = 2s;
    std::vector<std::chrono::steady_clock::time_point> courseStarts;
    harness.observer.onStatus = [&](HarvestRun&) {
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
    EXPECT_EQ(lines[2], DefaultRowOf(portal.host(), "x-status-404"));
    EXPECT_EQ(lines[3], DefaultRowOf(portal.host(), "x-flaky-3-503-1001"));
    EXPECT_EQ(lines[4], DefaultRowOf(portal.host(), "x-redirect-loop"));
    EXPECT_EQ(lines[5], lines[1]);

    const std::vector<PageFailure>& failures = harness.run.pageFailures;
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0].kind, PageKind::Detail);
    EXPECT_EQ(failures[0].subject, "x-status-404");
    EXPECT_EQ(failures[0].url, "https://" + portal.host() + "/guide/disp/c_id/x-status-404");
    EXPECT_EQ(failures[0].reason, "HTTP 404");
    EXPECT_EQ(failures[0].httpStatus, 404);
    EXPECT_EQ(failures[0].csvLine, 3);
    EXPECT_EQ(failures[1].subject, "x-flaky-3-503-1001");
    EXPECT_EQ(failures[1].reason, "HTTP 503 (3 attempts)");
    EXPECT_EQ(failures[1].csvLine, 4);
    EXPECT_EQ(failures[2].subject, "x-redirect-loop");
    EXPECT_NE(failures[2].reason.find("broke off"), std::string::npos) << failures[2].reason;
    EXPECT_EQ(failures[2].httpStatus, 302);
    EXPECT_EQ(failures[2].csvLine, 5);
    EXPECT_EQ(harness.run.resultCode, kResultRowsWritten);
    EXPECT_FALSE(harness.run.downloadFailed);  // the portal answered all along

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
    ASSERT_EQ(harness.run.pageFailures.size(), 1u);
    const PageFailure& failure = harness.run.pageFailures[0];
    EXPECT_EQ(failure.kind, PageKind::Listing);
    EXPECT_EQ(failure.subject, A("東京都"));
    EXPECT_EQ(failure.url, "https://" + portal.host() + "/doc/area/tokyo/?sort=kana&page=1");
    EXPECT_EQ(failure.reason, "HTTP 404");
    EXPECT_EQ(failure.csvLine, 0);
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 1", "step 東京都", "status 東京都 0/0", "ended"}));
    EXPECT_EQ(harness.run.resultCode, kResultNoRow);
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
        while (!stalled() && harness.run.stop.SleepFor(20ms)) {
        }
        std::this_thread::sleep_for(300ms);  // well into the stall
        stoppedAt = std::chrono::steady_clock::now();
        harness.run.stop.Request();
    });
    harness.Run({kTokyo});
    const auto endedAt = std::chrono::steady_clock::now();
    stopper.join();

    EXPECT_LT(endedAt - stoppedAt, 5s) << "a generous bound: the stall alone lasts 300 s";
    const Lines lines = harness.CsvLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], RowOf1001(portal.host(), "1001"));
    EXPECT_TRUE(harness.run.pageFailures.empty());
    EXPECT_FALSE(harness.observer.scratchAtEnd);
}

TEST(HarvestRetries, AStopEndsTheWaitBeforeTheNextAttempt) {
    FixturePortal pages({"x-flaky-1-503-1001", "1001"});
    PortalProcess portal({{}, pages.Pages(), {}});
    RunHarness harness(portal);
    harness.settings.retries.waits = {300s};
    std::thread stopper([&] {
        while (DetailTargets(portal).empty() && harness.run.stop.SleepFor(20ms)) {
        }
        harness.run.stop.Request();
    });
    harness.Run({kTokyo});
    stopper.join();
    // The page was neither read nor found missing: no row, no failure.
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");
    EXPECT_TRUE(harness.run.pageFailures.empty());
    EXPECT_EQ(DetailTargets(portal), Lines{"x-flaky-1-503-1001"});
}

TEST(HarvestRetries, AScratchFileThatCannotBeWrittenFailsTheRun) {
    PortalProcess portal({{"--courses-per-prefecture", "2"}, {}, {}});
    RunHarness harness(portal);
    harness.run.scratchPath = harness.dir.path() / "missing" / "tmp.dat";
    harness.Run({kTokyo, kKanagawa});

    EXPECT_NE(harness.run.failure.find("scratch file"), std::string::npos) << harness.run.failure;
    EXPECT_NE(harness.run.failure.find("missing"), std::string::npos) << harness.run.failure;
    EXPECT_EQ(harness.Csv(), CsvHeaderLine() + "\r\n");  // never a row from an empty page
    EXPECT_EQ(harness.observer.calls,
              (Lines{"start 2", "step 東京都", "status 東京都 0/0", "ended"}));
    EXPECT_TRUE(harness.run.pageFailures.empty());
    EXPECT_TRUE(portal.requests().empty());
}
