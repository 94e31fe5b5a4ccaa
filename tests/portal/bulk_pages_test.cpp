// The demo portal's bulk fault paths, which the page memory benchmark reads:
// their exact sizes and shapes, and that the portal serves them on both the
// listing and the detail path.
#include <gtest/gtest.h>

#include <algorithm>

#include "FetchOnce.h"
#include "TestSupport.h"
#include "Unicommon.h"
#include "bulk_pages.h"

namespace teebasket {
namespace {

bool HasLineBreak(const std::string& bytes) {
    return bytes.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

TEST(BulkPages, HaveExactlyTheirSizeAndTheirShape) {
    const std::optional<std::string> newlines = portal::BulkPage("x-newlines-1000");
    ASSERT_TRUE(newlines);
    EXPECT_EQ(*newlines, std::string(1000, '\n'));

    const std::optional<std::string> longLine = portal::BulkPage("x-longline-5001");
    ASSERT_TRUE(longLine);
    EXPECT_EQ(longLine->size(), 5001u);
    EXPECT_FALSE(HasLineBreak(*longLine));
    EXPECT_TRUE(HasPrefix(*longLine, R"(<script type="application/json")"));
    EXPECT_GT(std::count(longLine->begin(), longLine->end(), '>'), 100);

    const std::optional<std::string> longJson = portal::BulkPage("x-longjson-3000");
    ASSERT_TRUE(longJson);
    EXPECT_EQ(longJson->size(), 3000u);
    EXPECT_FALSE(HasLineBreak(*longJson));
    EXPECT_NE(longJson->find("\"@context\""), std::string::npos);

    EXPECT_EQ(portal::BulkPage("x-longline-10")->size(), 10u);  // cut inside the head
    EXPECT_EQ(portal::BulkPage("x-newlines-0"), std::string());
}

TEST(BulkPages, OtherNamesAndSizesAreNotBulkPages) {
    for (const std::string& name : std::vector<std::string>{
             "x-newlines-", "x-newlines-1x", "x-newlines--1", "x-bytes-10", "newlines-10",
             "x-newlines-" + std::to_string(portal::kMaximumBulkBytes + 1)}) {
        EXPECT_FALSE(portal::BulkPage(name)) << name;
    }
}

TEST(BulkPages, ThePortalServesThemOnBothPaths) {
    const test::PortalProcess portal;
    const test::TempDir dir;
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    for (const char* path : {"/guide/disp/c_id/x-newlines-70000", "/doc/area/x-newlines-70000/"}) {
        const FetchResult result =
            FetchOnce(portal.baseUrl() + path, dir.path() / "tmp.dat", agents, options);
        ASSERT_TRUE(result.Stored()) << path << ": " << result.detail;
        EXPECT_EQ(test::ReadFileBytes(dir.path() / "tmp.dat"), std::string(70000, '\n')) << path;
    }
}

}  // namespace teebasket
