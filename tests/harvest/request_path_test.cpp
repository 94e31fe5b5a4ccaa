// What page text can do to a request: a course identifier cut from a listing
// link reaches the portal as one path segment, whatever it holds, and the CSV
// names exactly the address that was requested.
#include <gtest/gtest.h>

#include <algorithm>

#include "run_harness.h"

using namespace teebasket;
using namespace teebasket::test;
using namespace std::chrono_literals;

namespace {

// The detail-page address column of every course line of `csv`.
std::vector<std::string> DetailUrlsOf(const std::string& csv) {
    std::vector<std::string> urls;
    for (std::size_t end = csv.find(",\r\n"); end != std::string::npos;
         end = csv.find(",\r\n", end + 3)) {
        const std::size_t start = csv.rfind(",\"", end - 1);
        urls.push_back(csv.substr(start + 2, end - start - 3));
    }
    return urls;
}

}  // namespace

TEST(RequestPath, DotSegmentIdentifiersAreRequestedAsTheyAreRecorded) {
    TempDir pages;
    std::string listing;
    for (const char* link : {"/x/c_..?rt=1", "/x/c_.?rt=1", "/x/c_a%2F..?rt=1"}) {
        listing += "<h2 class=\"gf-card-name\">\n<a href=\"" + std::string(link) + "\">x</a>\n";
    }
    WriteFileBytes(pages.path() / "listing" / "tokyo.html", listing);
    PortalProcess portal({.pagesDir = pages.path()});

    RunHarness harness(portal);
    harness.Run({kTokyo});

    std::vector<std::string> requested;
    for (const PortalRequest& request : portal.requests()) {
        if (!request.target.starts_with("/doc/area/")) {
            requested.push_back(portal.baseUrl() + request.target);
        }
    }
    const std::string base = portal.baseUrl() + "/guide/disp/c_id/";
    EXPECT_EQ(requested,
              (std::vector<std::string>{base + "%2E%2E", base + "%2E", base + "a%252F.."}));
    EXPECT_EQ(DetailUrlsOf(harness.Csv()), requested);
}
