// From arguments and golf.ini to a run: prefecture names, where the settings
// come from, what overrides what, and the mistakes that end with exit 64.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <sstream>

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

TEST(ResolvePrefecture, CodesNamesShortNamesAndRomaji) {
    // JIS X 0401 codes: the row is the code less one.
    const std::pair<const char*, int> matches[] = {
        {"13", 12},        {"013", -1},    {"1", 0},         {"01", 0},      {"07", 6},
        {"47", 46},        {"１３", 12},   {"０１", 0},      {"東京都", 12}, {"東京", 12},
        {"tokyo", 12},     {"TOKYO", 12},  {"Tokyo", 12},    {"北海道", 0},  {"hokkaido", 0},
        {"京都", 25},      {"京都府", 25}, {"大阪", 26},     {"沖縄", 46},   {"神奈川", 13},
        {"Kagoshima", 45}, {"和歌山", 29}, {"鹿児島県", 45},
    };
    for (const auto& [typed, row] : matches) {
        if (row < 0) {
            EXPECT_FALSE(ResolvePrefecture(typed)) << typed;
        } else {
            EXPECT_EQ(ResolvePrefecture(typed), row) << typed;
        }
    }
    for (const char* typed : {"", "0", "00", "48", "100", "-1", "+13", "1 3", " 13", "13 ", "北海",
                              "東京都 ", "tokyo-to", "都", "県", "Tōkyō", "１３a"}) {
        EXPECT_FALSE(ResolvePrefecture(typed)) << typed;
    }
}

TEST(ResolvePrefectures, TheFirstUnknownWordIsNamed) {
    EXPECT_EQ(ResolvePrefectures({"tokyo", "1", "47"}).rows, (std::vector<int>{12, 0, 46}));
    const ResolvedPrefectures resolved = ResolvePrefectures({"tokyo", "Narnia", "Mordor"});
    EXPECT_TRUE(resolved.rows.empty());
    EXPECT_NE(resolved.error.find("Narnia"), std::string::npos) << resolved.error;
    EXPECT_NE(resolved.error.find("--list-prefectures"), std::string::npos) << resolved.error;
    // The row numbers of earlier versions began at 0: that one is explained.
    EXPECT_NE(ResolvePrefectures({"0"}).error.find("1 (北海道) to 47 (沖縄県)"), std::string::npos);
}

TEST(ResolvePrefectures, ARegionStandsForItsPrefectures) {
    EXPECT_EQ(ResolvePrefectures({"関東"}).rows, (std::vector<int>{7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(ResolvePrefectures({"Kanto"}).rows, ResolvePrefectures({"関東"}).rows);
    EXPECT_EQ(ResolvePrefectures({"kansai"}).rows, ResolvePrefectures({"近畿"}).rows);
    EXPECT_EQ(ResolvePrefectures({"九州沖縄"}).rows, ResolvePrefectures({"九州・沖縄"}).rows);
    // The regions cover the 47 prefectures once each, in code order; 北海道
    // alone is still the prefecture.
    std::vector<int> all;
    for (const PrefectureRegion& region : PrefectureRegions) {
        const std::vector<int> rows = ResolvePrefectures({std::string(region.slug)}).rows;
        ASSERT_FALSE(rows.empty()) << region.slug;
        all.insert(all.end(), rows.begin(), rows.end());
    }
    std::vector<int> expected(47);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(all, expected);
    EXPECT_EQ(ResolvePrefectures({"北海道"}).rows, (std::vector<int>{0}));
    EXPECT_EQ(ResolvePrefectures({"四国", "13"}).rows, (std::vector<int>{35, 36, 37, 38, 12}));
}

TEST(PrefectureListText, TheFortySevenByCodeNameAndRomaji) {
    const std::string list = PrefectureListText();
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = list.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 47u);
    EXPECT_EQ(lines[0], " 1  北海道    hokkaido");
    EXPECT_EQ(lines[12], "13  東京都    tokyo");
    EXPECT_EQ(lines[13], "14  神奈川県  kanagawa");
    EXPECT_EQ(lines[46], "47  沖縄県    okinawa");
    // Every line names its prefecture in each of the three ways the command
    // line takes.
    for (int row = 0; row < 47; ++row) {
        std::istringstream words(lines[static_cast<std::size_t>(row)]);
        std::string code, name, romaji;
        words >> code >> name >> romaji;
        EXPECT_EQ(ResolvePrefecture(code), row) << lines[static_cast<std::size_t>(row)];
        EXPECT_EQ(ResolvePrefecture(name), row) << name;
        EXPECT_EQ(ResolvePrefecture(romaji), row) << romaji;
    }
}

// A folder standing for the executable's folder (writable, so golf.ini is
// read from it) with HOME pointed inside it.
class PrepareRunTest : public ::testing::Test {
  protected:
    PreparedRun Prepare(std::vector<std::string> arguments, Language language = Language::English) {
        return PrepareRun(arguments, folder_.path(), folder_.path() / "cwd", language);
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

TEST_F(PrepareRunTest, HelpInTheUsersLanguageAndTheListOfPrefectures) {
    PreparedRun prepared = Prepare({"-h"}, Language::Japanese);
    EXPECT_EQ(prepared.exitCode, kExitRowsWritten);
    EXPECT_TRUE(prepared.message.starts_with("使い方: teebasket-cli")) << prepared.message;
    // Each option of the English text is in the Japanese one too.
    const std::string english = Prepare({"--help"}).message;
    for (const char* option :
         {"--all", "--output", "--format", "--resume", "--config", "--listing-host",
          "--booking-host", "--ca-cert", "--pause-ms", "--quiet", "--list-prefectures", "--help",
          "--version", "compare", "history", "--no-history", "--json", "64", "73"}) {
        EXPECT_NE(english.find(option), std::string::npos) << option;
        EXPECT_NE(prepared.message.find(option), std::string::npos) << option;
    }
    prepared = Prepare({"compare", "--help"});
    EXPECT_EQ(prepared.exitCode, kExitRowsWritten);
    EXPECT_EQ(prepared.message, english);

    prepared = Prepare({"--list-prefectures"}, Language::Japanese);
    EXPECT_EQ(prepared.exitCode, kExitRowsWritten);
    EXPECT_EQ(prepared.message, PrefectureListText());
}

TEST_F(PrepareRunTest, StandardOutputAndTheFormat) {
    PreparedRun prepared = Prepare({"tokyo", "-o", "-"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_TRUE(prepared.request.toStandardOutput);
    EXPECT_TRUE(prepared.request.outputPath.empty());
    EXPECT_EQ(prepared.request.format, OutputFormat::Csv);
    EXPECT_FALSE(fs::exists(Folder() / "cwd" / "-.csv"));

    prepared = Prepare({"tokyo", "-qo-", "--format=jsonl"}, Language::Japanese);
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_TRUE(prepared.request.toStandardOutput);
    EXPECT_TRUE(prepared.request.quiet);
    EXPECT_EQ(prepared.request.format, OutputFormat::Jsonl);

    // A file named "-" in the current folder is "./-".
    prepared = Prepare({"tokyo", "-o", "./-"});
    ASSERT_EQ(prepared.exitCode, -1) << prepared.message;
    EXPECT_FALSE(prepared.request.toStandardOutput);
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / "." / "-.csv");

    // The format from the extension, and the extension from the format.
    prepared = Prepare({"tokyo", "-o", "全国.XLSX"});
    EXPECT_EQ(prepared.request.format, OutputFormat::Xlsx);
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / PathFromUtf8("全国.XLSX"));
    prepared = Prepare({"tokyo", "--format", "xlsx"});
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / PathFromUtf8("ゴルフ場一覧.xlsx"));
    prepared = Prepare({"tokyo", "--format", "csv-utf8", "-o", "list"});
    EXPECT_EQ(prepared.request.format, OutputFormat::CsvUtf8);
    EXPECT_EQ(prepared.request.outputPath, Folder() / "cwd" / "list.csv");
    EXPECT_FALSE(prepared.request.toStandardOutput);

    // Standard output cannot be continued.
    prepared = Prepare({"tokyo", "-o", "-", "--resume"});
    EXPECT_EQ(prepared.exitCode, kExitUsage);
    EXPECT_NE(prepared.message.find("--resume"), std::string::npos) << prepared.message;
}

TEST_F(PrepareRunTest, CompareIsPreparedWithItsPathsAndLeftToTheCaller) {
    const fs::path elsewhere = Folder() / "new.jsonl";
    PreparedRun prepared = Prepare({"compare", "old.csv", elsewhere.string(), "-o", "diff.xlsx"});
    EXPECT_EQ(prepared.exitCode, -1) << prepared.message;
    ASSERT_TRUE(prepared.compare);
    EXPECT_EQ(prepared.compare->oldPath, Folder() / "cwd" / "old.csv");
    EXPECT_EQ(prepared.compare->newPath, elsewhere);
    EXPECT_EQ(prepared.compare->reportPath, Folder() / "cwd" / "diff.xlsx");
    EXPECT_FALSE(prepared.compare->reportToStandardOutput);

    prepared = Prepare({"compare", "old.csv", "new.csv", "-o", "-"});
    ASSERT_TRUE(prepared.compare);
    EXPECT_TRUE(prepared.compare->reportToStandardOutput);
    EXPECT_FALSE(prepared.compare->reportPath);
    EXPECT_FALSE(Prepare({"tokyo"}).compare);
}

TEST_F(PrepareRunTest, TheHistoryIsBesideTheSettingsFile) {
    EXPECT_EQ(Prepare({"tokyo"}).request.historyFolder, Folder() / "history");
    fs::create_directories(Folder() / "cwd" / "own");
    WriteFileBytes(Folder() / "cwd" / "own" / "golf.ini", "");
    EXPECT_EQ(Prepare({"tokyo", "--config", "own/golf.ini"}).request.historyFolder,
              Folder() / "cwd" / "own" / "history");
    EXPECT_EQ(Prepare({"tokyo", "--no-history"}).request.historyFolder, fs::path());
    EXPECT_EQ(Prepare({"tokyo", "-o", "-"}).request.historyFolder, fs::path());

    PreparedRun listing = Prepare({"history"});
    ASSERT_EQ(listing.exitCode, -1) << listing.message;
    ASSERT_TRUE(listing.history);
    EXPECT_EQ(listing.history->folder, Folder() / "history");
    EXPECT_FALSE(listing.history->json);
    listing = Prepare({"history", "--json", "--config", "own/golf.ini"});
    ASSERT_TRUE(listing.history) << listing.message;
    EXPECT_EQ(listing.history->folder, Folder() / "cwd" / "own" / "history");
    EXPECT_TRUE(listing.history->json);
    EXPECT_EQ(Prepare({"history", "--help"}).exitCode, kExitRowsWritten);

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"history", "tokyo"},
                                               {"history", "--no-history"},
                                               {"--all", "history"},
                                               {"history", "-o", "x.csv"},
                                               {"history", "--json=yes"},
                                               {"history", "--config", "missing.ini"},
                                               {"compare", "a", "b", "--no-history"}}) {
        const PreparedRun prepared = Prepare(wrong);
        EXPECT_EQ(prepared.exitCode, kExitUsage) << wrong.back();
        EXPECT_FALSE(prepared.history) << wrong.back();
    }
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
    PreparedRun prepared = Prepare({"沖縄県", "tokyo", "13", "01"});
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
    // Each half of the line names the mistake: the Japanese one as well.
    struct Case {
        std::vector<std::string> arguments;
        const char* mentions;
        const char* japaneseMentions;
    };
    const Case cases[] = {
        {{"--bogus"}, "--bogus", "不明なオプション --bogus"},
        {{"Atlantis"}, "Atlantis", "都道府県 \"Atlantis\" が見つかりません"},
        {{"0"}, "47", "47 の沖縄県"},
        {{"tokyo", "--format", "xls"}, "--format", "\"xls\" は使えません"},
        {{"compare", "old.csv"}, "compare", "OLD と NEW"},
        {{"tokyo", "compare", "old.csv", "new.csv"}, "compare", "compare に指定できるのは"},
        {{"--all", "tokyo"}, "--all", "--all と都道府県の指定"},
        {{"--config", (Folder() / "none.ini").string()}, "none.ini", "none.ini\" を読み込めません"},
        {{"--config", (Folder() / "a-folder").string()}, "a-folder", "a-folder"},
        {{"--config", (Folder() / "bad-portal.ini").string()},
         "BookingHost",
         "詳細ページのホスト（BookingHost、--booking-host）の \"https://evil/\""},
        {{"--config", (Folder() / "missing-ca.ini").string()},
         "/nowhere/ca.pem",
         "/nowhere/ca.pem\" を読み込めません"},  // C:/nowhere on Windows
        {{"--config", (Folder() / "nothing-ticked.ini").string()},
         "no prefecture",
         "都道府県が選ばれていません"},
        {{"--listing-host", "a b"}, "ListingHost", "一覧のホスト"},
        {{"--ca-cert", "/nowhere/x.pem"}, "/nowhere/x.pem", "/nowhere/x.pem"},
        {{"--pause-ms", "0,0", "--listing-host", "portal.example", "--booking-host", "127.0.0.1"},
         "pauses",
         "1000,300 ミリ秒より短い間隔"},
        {{"tokyo", "-o", "-", "--resume"}, "--resume", "標準出力（-o -）は続けられません"},
    };
    for (const Case& c : cases) {
        const PreparedRun prepared = Prepare(c.arguments);
        EXPECT_EQ(prepared.exitCode, kExitUsage) << c.arguments[0];
        EXPECT_NE(prepared.message.find(c.mentions), std::string::npos) << prepared.message;
        const std::string japanese = prepared.message.substr(0, prepared.message.find(" / "));
        EXPECT_NE(japanese.find(c.japaneseMentions), std::string::npos) << prepared.message;
        EXPECT_NE(prepared.message.find("teebasket-cli --help"), std::string::npos);
    }
    fs::remove(Ini());
    const PreparedRun prepared = Prepare({});
    EXPECT_EQ(prepared.exitCode, kExitUsage);
    EXPECT_NE(prepared.message.find("no prefecture"), std::string::npos) << prepared.message;
}

}  // namespace
}  // namespace teebasket::cli
