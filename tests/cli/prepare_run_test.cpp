// From arguments and golf.ini to a run: prefecture names, where the settings
// come from, what overrides what, and the mistakes that end with exit 64.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliOutcome.h"
#include "CliRun.h"
#include "MECSUtils.h"
#include "PrefectureNames.h"
#include "ScopedEnv.h"
#include "TestSupport.h"
#include "path_text.h"

namespace teebasket::cli {
namespace {

namespace fs = std::filesystem;
using teebasket::test::TempDir;
using teebasket::test::WriteFileBytes;
using teebasket::testing::ScopedEnv;

TEST(ResolvePrefecture, NameShortNameSlugOrIndex) {
    const std::pair<const char*, int> matches[] = {
        {"東京都", 12}, {"東京", 12},   {"tokyo", 12}, {"TOKYO", 12},  {"12", 12},
        {"0", 0},       {"46", 46},     {"07", 7},     {"北海道", 0},  {"hokkaido", 0},
        {"京都", 25},   {"京都府", 25}, {"沖縄", 46},  {"神奈川", 13}, {"Kagoshima", 45},
    };
    for (const auto& [typed, row] : matches) {
        EXPECT_EQ(ResolvePrefecture(typed), row) << typed;
    }
    for (const char* typed :
         {"", "47", "100", "012", "-1", "北海", "東京都 ", "１２", "tokyo-to", "都", "Tōkyō"}) {
        EXPECT_FALSE(ResolvePrefecture(typed)) << typed;
    }
}

TEST(ResolvePrefectures, TheFirstUnknownWordIsNamed) {
    EXPECT_EQ(ResolvePrefectures({"tokyo", "1"}).rows, (std::vector<int>{12, 1}));
    const ResolvedPrefectures resolved = ResolvePrefectures({"tokyo", "Narnia", "Mordor"});
    EXPECT_TRUE(resolved.rows.empty());
    EXPECT_NE(resolved.error.find("Narnia"), std::string::npos) << resolved.error;
}

// A folder standing for the executable's folder (writable, so golf.ini is
// read from it) with HOME pointed inside it.
class PrepareRunTest : public ::testing::Test {
  protected:
    PreparedRun Prepare(std::vector<std::string> arguments) {
        return PrepareRun(arguments, folder_.path(), folder_.path() / "cwd");
    }
    fs::path Ini() const { return folder_.path() / "golf.ini"; }
    fs::path Folder() const { return folder_.path(); }

    TempDir folder_;
    ScopedEnv home_{"HOME", (folder_.path() / "home").c_str()};
};

TEST_F(PrepareRunTest, HelpAndVersionEndAtOnceWithSuccess) {
    PreparedRun prepared = Prepare({"--help"});
    EXPECT_EQ(prepared.exitCode, kExitRowsWritten);
    EXPECT_NE(prepared.message.find("Usage: teebasket-cli"), std::string::npos);
    prepared = Prepare({"tokyo", "--version"});
    EXPECT_EQ(prepared.exitCode, kExitRowsWritten);
    EXPECT_TRUE(prepared.message.starts_with("teebasket-cli ")) << prepared.message;
}

TEST_F(PrepareRunTest, WithoutPrefecturesTheWindowsSelectionIsTaken) {
    WriteFileBytes(Ini(), "[Config]\r\nArea=01" + std::string(10, '0') + "1\r\n");
    const PreparedRun prepared = Prepare({});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_EQ(prepared.request.selection.rows, (std::vector<int>{1, 12}));
    ASSERT_EQ(prepared.request.selection.displayNames.size(), 2u);
    EXPECT_EQ(prepared.request.selection.displayNames[1], UTF8ToAnsi("東京都"));
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / PathFromUtf8("ゴルフ場一覧.csv"));
    EXPECT_EQ(prepared.request.settings.pauses.afterListing, std::chrono::milliseconds(1000));
    EXPECT_EQ(prepared.request.settings.pauses.afterDetail, std::chrono::milliseconds(300));
}

TEST_F(PrepareRunTest, NamedPrefecturesAreSortedOnceEachAndAllMeansAll) {
    WriteFileBytes(Ini(), "[Config]\r\nArea=1\r\n");
    PreparedRun prepared = Prepare({"沖縄県", "tokyo", "12", "0"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_EQ(prepared.request.selection.rows, (std::vector<int>{0, 12, 46}));

    prepared = Prepare({"--all"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_EQ(prepared.request.selection.rows.size(), 47u);
}

TEST_F(PrepareRunTest, PortalComesFromGolfIniAndTheCommandLineOverrides) {
    fs::create_directories(Folder() / "cwd");
    WriteFileBytes(Folder() / "ini-ca.pem", "pem");
    WriteFileBytes(Folder() / "cwd" / "cli-ca.pem", "pem");
    WriteFileBytes(Ini(),
                   "[Portal]\nListingHost=list.example:8443\nBookingHost=book.example\n"
                   "CACertificate=ini-ca.pem\n");
    PreparedRun prepared = Prepare({"--all"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    const HarvestSettings& settings = prepared.request.settings;
    EXPECT_EQ(settings.portal.listingHost, "list.example:8443");
    EXPECT_EQ(settings.portal.bookingHost, "book.example");
    EXPECT_EQ(settings.portal.caCertificate, Folder() / "ini-ca.pem");

    prepared = Prepare({"--all", "--listing-host", "127.0.0.1:1", "--booking-host=[::1]:2",
                        "--ca-cert", "cli-ca.pem", "--pause-ms", "0,0", "-o", "out"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    const HarvestSettings& overridden = prepared.request.settings;
    EXPECT_EQ(overridden.portal.listingHost, "127.0.0.1:1");
    EXPECT_EQ(overridden.portal.bookingHost, "[::1]:2");
    EXPECT_EQ(overridden.portal.caCertificate, Folder() / "cwd" / "cli-ca.pem");
    EXPECT_EQ(overridden.pauses.afterListing, std::chrono::milliseconds(0));
    EXPECT_EQ(overridden.pauses.afterDetail, std::chrono::milliseconds(0));
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / "out.csv");

    prepared = Prepare({"--all", "--ca-cert="});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_TRUE(prepared.request.settings.portal.caCertificate.empty());
}

TEST_F(PrepareRunTest, TheBuildsCertificateIsDroppedOnlyWhileItIsMissing) {
    const fs::path defaultCertificate = DefaultPortalSettings().caCertificate;
    if (defaultCertificate.empty() || !defaultCertificate.string().starts_with(Folder().string())) {
        GTEST_SKIP() << "the build's default certificate is not under the home folder";
    }
    PreparedRun prepared = Prepare({"--all"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_TRUE(prepared.request.settings.portal.caCertificate.empty());

    fs::create_directories(defaultCertificate.parent_path());
    WriteFileBytes(defaultCertificate, "pem");
    prepared = Prepare({"--all"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_EQ(prepared.request.settings.portal.caCertificate, defaultCertificate);
}

TEST_F(PrepareRunTest, MistakesEndWithUsageAndSayWhat) {
    WriteFileBytes(Ini(), "[Config]\r\nArea=1\r\n");
    fs::create_directories(Folder() / "a-folder");
    WriteFileBytes(Folder() / "bad-portal.ini", "[Portal]\nBookingHost=https://evil/\n");
    WriteFileBytes(Folder() / "missing-ca.ini", "[Portal]\nCACertificate=/nowhere/ca.pem\n");
    WriteFileBytes(Folder() / "nothing-ticked.ini", "[Config]\nArea=000\n");
    struct Case {
        std::vector<std::string> arguments;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"Atlantis"}, "Atlantis"},
        {{"--all", "tokyo"}, "--all"},
        {{"--config", (Folder() / "none.ini").string()}, "none.ini"},
        {{"--config", (Folder() / "a-folder").string()}, "a-folder"},
        {{"--config", (Folder() / "bad-portal.ini").string()}, "BookingHost"},
        {{"--config", (Folder() / "missing-ca.ini").string()}, "/nowhere/ca.pem"},
        {{"--config", (Folder() / "nothing-ticked.ini").string()}, "no prefecture"},
        {{"--listing-host", "a b"}, "ListingHost"},
        {{"--ca-cert", "/nowhere/x.pem"}, "/nowhere/x.pem"},
        {{"--pause-ms", "0,0", "--listing-host", "portal.example", "--booking-host", "127.0.0.1"},
         "pauses"},
    };
    for (const Case& c : cases) {
        const PreparedRun prepared = Prepare(c.arguments);
        EXPECT_EQ(prepared.exitCode, kExitUsage) << c.arguments[0];
        EXPECT_NE(prepared.message.find(c.mentions), std::string::npos) << prepared.message;
        EXPECT_NE(prepared.message.find("teebasket-cli --help"), std::string::npos);
    }
    fs::remove(Ini());
    const PreparedRun prepared = Prepare({});
    EXPECT_EQ(prepared.exitCode, kExitUsage);
    EXPECT_NE(prepared.message.find("no prefecture"), std::string::npos) << prepared.message;
}

}  // namespace
}  // namespace teebasket::cli
