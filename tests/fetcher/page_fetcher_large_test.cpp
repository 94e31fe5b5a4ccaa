// The production body limit of 16 MiB, with real bodies of that size.
#include <gtest/gtest.h>

#include <filesystem>

#include "FetchOnce.h"
#include "TestSupport.h"
#include "Unicommon.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLimit = 16u * 1024u * 1024u;

TEST(PageFetcherLargeBodyTest, DefaultLimitKeepsSixteenMebibytes) {
    test::PortalProcess portal;
    test::TempDir dir;
    const fs::path scratch = dir.path() / "tmp.dat";
    UserAgentGenerator agents;
    FetchOptions options;
    options.caCertificateFile = portal.certificate();
    ASSERT_EQ(options.maxBodyBytes, kLimit);
    const std::string base = portal.baseUrl() + "/guide/disp/c_id/";

    const FetchResult whole =
        FetchOnce(base + "x-chunked-" + std::to_string(kLimit), scratch, agents, options);
    ASSERT_TRUE(whole.Stored()) << whole.detail;
    EXPECT_EQ(fs::file_size(scratch), kLimit);

    for (const char* kind : {"x-bytes-", "x-chunked-"}) {
        SCOPED_TRACE(kind);
        const FetchResult over =
            FetchOnce(base + kind + std::to_string(kLimit + 1), scratch, agents, options);
        EXPECT_EQ(over.status, FetchStatus::TooLarge) << over.detail;
        EXPECT_FALSE(fs::exists(scratch));
        EXPECT_TRUE(test::ListFolder(dir.path()).empty());
    }
}

}  // namespace
}  // namespace teebasket
