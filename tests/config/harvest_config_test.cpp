// The portal settings, the data folder and the Area value of golf.ini.
#include "HarvestConfig.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>

#include "ProfileFile.h"
#include "ScopedEnv.h"
#include "TestSupport.h"
#include "path_text.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using teebasket::test::TempDir;
using teebasket::test::WriteFileBytes;
using teebasket::testing::ScopedEnv;

// The variables that name the home folder and the folder of the users'
// program settings.
// A home folder and an absolute path as the platform writes them.
#ifdef _WIN32
constexpr const char* kHomeVariable = "USERPROFILE";
constexpr const char* kSettingsVariable = "APPDATA";
constexpr const char* kSettingsFolder = "Teebasket";
constexpr const char* kSomeHome = "C:/Users/someone";
constexpr const char* kSomeAbsolutePath = "D:/certs/ca.pem";
#else
constexpr const char* kHomeVariable = "HOME";
constexpr const char* kSettingsVariable = "XDG_CONFIG_HOME";
constexpr const char* kSettingsFolder = "teebasket";
constexpr const char* kSomeHome = "/home/someone";
constexpr const char* kSomeAbsolutePath = "/etc/ca.pem";
#endif

// ---------------------------------------------------------------------------
// Portal settings

TEST(PortalSettings, DefaultsComeFromTheBuildWithTheHomeFolderExpanded) {
    ScopedEnv home(kHomeVariable, kSomeHome);
    const PortalSettings defaults = DefaultPortalSettings();
    EXPECT_EQ(defaults.listingHost, TEEBASKET_DEFAULT_LISTING_HOST);
    EXPECT_EQ(defaults.bookingHost, TEEBASKET_DEFAULT_BOOKING_HOST);
    EXPECT_EQ(defaults.caCertificate, ExpandHome(TEEBASKET_DEFAULT_CA_CERTIFICATE));
    EXPECT_FALSE(defaults.caCertificate.string().starts_with("~"));
}

TEST(PortalSettings, MissingOrEmptyKeysTakeTheDefaults) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    const PortalSettings defaults = DefaultPortalSettings();

    PortalSettings loaded = LoadPortalSettings(ini);
    EXPECT_EQ(loaded.listingHost, defaults.listingHost);
    EXPECT_EQ(loaded.bookingHost, defaults.bookingHost);
    EXPECT_EQ(loaded.caCertificate, defaults.caCertificate);

    WriteFileBytes(ini, "[Portal]\r\nListingHost=\r\nBookingHost=  \r\nCACertificate=\r\n");
    loaded = LoadPortalSettings(ini);
    EXPECT_EQ(loaded.listingHost, defaults.listingHost);
    EXPECT_EQ(loaded.bookingHost, defaults.bookingHost);
    EXPECT_EQ(loaded.caCertificate, defaults.caCertificate);
}

TEST(PortalSettings, KeysOverrideAndCertificatePathsResolve) {
    TempDir folder;
    ScopedEnv home(kHomeVariable, kSomeHome);
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini,
                   "[portal]\nlistinghost=list.example:8443\nBOOKINGHOST=book.example\n"
                   "CACertificate=certs/portal.pem\n");
    PortalSettings loaded = LoadPortalSettings(ini);
    EXPECT_EQ(loaded.listingHost, "list.example:8443");
    EXPECT_EQ(loaded.bookingHost, "book.example");
    EXPECT_EQ(loaded.caCertificate, folder.path() / "certs/portal.pem");

    ASSERT_EQ(WriteProfileString(ini, "Portal", "CACertificate", "~/ca.pem"), "");
    EXPECT_EQ(LoadPortalSettings(ini).caCertificate, fs::path(kSomeHome) / "ca.pem");

    ASSERT_EQ(WriteProfileString(ini, "Portal", "CACertificate", kSomeAbsolutePath), "");
    EXPECT_EQ(LoadPortalSettings(ini).caCertificate, fs::path(kSomeAbsolutePath));
}

// golf.ini is UTF-8; on Windows a path taken from it as ANSI text would
// lose its Japanese characters.
TEST(PortalSettings, ACertificatePathInJapaneseNamesItsFile) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Portal]\r\nCACertificate=証明書/ポータル.pem\r\n");
    EXPECT_EQ(LoadPortalSettings(ini).caCertificate,
              folder.path() / fs::path(u8"証明書") / fs::path(u8"ポータル.pem"));
}

TEST(PortalSettings, HostsThatCouldChangeTheRequestAreRefused) {
    for (const char* good : {"example.com", "127.0.0.1:48443", "localhost", "[::1]:8443", "[::1]",
                             "my_host-2.example.jp:1", "h:65535"}) {
        EXPECT_EQ(PortalHostProblem(good), "") << good;
    }
    for (const char* bad :
         {"", "https://example.com", "example.com/path", "exa mple.com", "user@example.com",
          "example.com?x", "example.com#x", "h:", "h:0", "h:65536", "h:12a", "h:123456", ":80",
          "[::1", "[]:80", "[::1]x", "[::1]:", "h:1:2"}) {
        EXPECT_NE(PortalHostProblem(bad), "") << bad;
    }
    PortalSettings settings = DefaultPortalSettings();
    settings.bookingHost = "https://x/";
    EXPECT_TRUE(PortalSettingsProblem(settings).starts_with("BookingHost"))
        << PortalSettingsProblem(settings);
    settings.listingHost = "a b";
    EXPECT_TRUE(PortalSettingsProblem(settings).starts_with("ListingHost"));
}

TEST(ExpandHome, OnlyALeadingTildeSlashOrALoneTildeExpands) {
    ScopedEnv home(kHomeVariable, kSomeHome);
    EXPECT_EQ(ExpandHome("~/a/b.pem"), fs::path(kSomeHome) / "a/b.pem");
    EXPECT_EQ(ExpandHome("~"), fs::path(kSomeHome));
    EXPECT_EQ(ExpandHome("~other/x"), fs::path("~other/x"));
    EXPECT_EQ(ExpandHome("a/~/x"), fs::path("a/~/x"));
    EXPECT_EQ(ExpandHome("/abs/x"), fs::path("/abs/x"));
    EXPECT_EQ(ExpandHome(""), fs::path(""));
}

TEST(CertificatePath, RelativeToItsFolderAfterTheHomeFolder) {
    ScopedEnv home(kHomeVariable, kSomeHome);
    const fs::path base = fs::absolute("settings");
    EXPECT_EQ(CertificatePath("tls/cert.pem", base), base / "tls/cert.pem");
    EXPECT_EQ(CertificatePath("~/cert.pem", base), fs::path(kSomeHome) / "cert.pem");
    const fs::path absolute = fs::absolute("elsewhere/cert.pem");
    EXPECT_EQ(CertificatePath(PathText(absolute), base), absolute);
}

TEST(IsLoopbackHost, OnlyAddressesOfThisMachineWithOrWithoutBrackets) {
    for (const char* local :
         {"127.0.0.1", "127.0.0.1:48443", "127.1.2.3:1", "localhost", "LocalHost:8443", "[::1]",
          "[::1]:8443", "::1", "[0:0:0:0:0:0:0:1]:9"}) {
        EXPECT_TRUE(IsLoopbackHost(local)) << local;
    }
    for (const char* remote :
         {"", "example.com", "10.0.0.1", "128.0.0.1", "127.0.0", "127.0.0.1.5", "127.0.0.256",
          "localhost.example.com", "mylocalhost", "[::2]:1", "127.0.0.1.evil.example", "[::1"}) {
        EXPECT_FALSE(IsLoopbackHost(remote)) << remote;
    }
}

// ---------------------------------------------------------------------------
// Data folder

TEST(DataFolder, AWritableExecutableFolderIsUsedAsItIs) {
    TempDir folder;
    ScopedEnv xdg(kSettingsVariable, folder.path() / "xdg");
    EXPECT_EQ(DataFolder(folder.path()), folder.path());
    EXPECT_FALSE(fs::exists(folder.path() / "xdg"));
    // Nothing of the check that the folder can be written stays behind.
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(DataFolder, OtherwiseTheUsersConfigFolderIsCreated) {
    TempDir folder;
    const fs::path notAFolder = folder.path() / "file";
    WriteFileBytes(notAFolder, "x");
    {
        ScopedEnv xdg(kSettingsVariable, folder.path() / "xdg");
        EXPECT_EQ(DataFolder(notAFolder), folder.path() / "xdg" / kSettingsFolder);
        EXPECT_TRUE(fs::is_directory(folder.path() / "xdg" / kSettingsFolder));
        EXPECT_EQ(DataFolder(folder.path() / "missing"), folder.path() / "xdg" / kSettingsFolder);
    }
}

#ifndef _WIN32
TEST(DataFolder, WithoutXdgConfigHomeItIsUnderTheHomeFolder) {
    TempDir folder;
    const fs::path notAFolder = folder.path() / "file";
    WriteFileBytes(notAFolder, "x");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv home("HOME", folder.path() / "home");
        EXPECT_EQ(DataFolder(notAFolder), folder.path() / "home" / ".config" / "teebasket");
        EXPECT_TRUE(fs::is_directory(folder.path() / "home" / ".config" / "teebasket"));
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "");
        ScopedEnv home("HOME", folder.path() / "home2");
        EXPECT_EQ(DataFolder(""), folder.path() / "home2" / ".config" / "teebasket");
    }
}
#endif

#ifdef _WIN32
TEST(DataFolder, TheSystemsProgramFoldersAreNeverUsedEvenWhenWritable) {
    TempDir folder;
    ScopedEnv appData(kSettingsVariable, folder.path() / "appdata");
    const fs::path config = folder.path() / "appdata" / kSettingsFolder;
    const wchar_t* programFiles = ::_wgetenv(L"ProgramFiles");
    const wchar_t* windows = ::_wgetenv(L"SystemRoot");
    ASSERT_NE(programFiles, nullptr);
    ASSERT_NE(windows, nullptr);
    // An administrator may write Program Files, but an installed program
    // keeps its files per user.
    const fs::path installed = fs::path(programFiles) / folder.path().filename() / L"Teebasket";
    fs::create_directories(installed);
    EXPECT_EQ(DataFolder(installed), config);
    EXPECT_EQ(DataFolder(fs::path(windows)), config);
    // Nor the user's own programs folder, where the per-user installer puts
    // the program and from which its uninstaller removes it.
    const wchar_t* localAppData = ::_wgetenv(L"LOCALAPPDATA");
    ASSERT_NE(localAppData, nullptr);
    const fs::path perUser =
        fs::path(localAppData) / L"Programs" / folder.path().filename() / L"Teebasket";
    fs::create_directories(perUser);
    EXPECT_EQ(DataFolder(perUser), config);
    fs::remove_all(perUser.parent_path());
    // In any case of letters, but not a folder that only looks alike.
    std::wstring shouted = installed.wstring();
    for (wchar_t& c : shouted) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    EXPECT_EQ(DataFolder(fs::path(shouted)), config);
    const fs::path lookAlike = folder.path() / L"Program Files" / L"Teebasket";
    fs::create_directories(lookAlike);
    EXPECT_EQ(DataFolder(lookAlike), lookAlike);
    fs::remove_all(installed.parent_path());
}
#else
TEST(DataFolder, TheSystemsProgramFoldersAreNeverUsedEvenWhenWritable) {
    TempDir folder;
    ScopedEnv xdg("XDG_CONFIG_HOME", (folder.path() / "xdg").c_str());
    const fs::path config = folder.path() / "xdg" / "teebasket";
    // Root may write /usr/bin, but an installed program keeps its files per user.
    EXPECT_EQ(DataFolder("/usr/bin"), config);
    EXPECT_EQ(DataFolder("/usr/local/bin"), config);
    EXPECT_EQ(DataFolder("/bin"), config);
    EXPECT_EQ(DataFolder("/opt/teebasket/bin"), config);
    // Also when reached through a link, or through a path that only looks alike.
    fs::create_directory_symlink("/usr/bin", folder.path() / "programs");
    EXPECT_EQ(DataFolder(folder.path() / "programs"), config);
    EXPECT_EQ(DataFolder("/tmp/../usr/bin"), config);
    const fs::path usrInside = folder.path() / "usr" / "bin";
    fs::create_directories(usrInside);
    EXPECT_EQ(DataFolder(usrInside), usrInside);
}
#endif

// ---------------------------------------------------------------------------
// The Area value

struct AreaCase {
    const char* name;
    const char* iniBytes;  // nullptr: no file
    std::vector<int> rows;
};

std::string Repeat(char c, int count) {
    return std::string(static_cast<std::size_t>(count), c);
}

TEST(LoadSelectedRows, OnlyAOneAtRowPositionsTicks) {
    const std::string all = "[Config]\r\nArea=" + Repeat('1', 47) + "\r\n";
    const std::string tokyoOnly = "[Config]\r\nArea=" + Repeat('0', 12) + "1\r\n";
    const std::string longValue =
        "[Config]\r\nArea=1" + Repeat('0', 45) + "1" + Repeat('1', 20) + "\r\n";
    std::vector<int> everyRow;
    for (int i = 0; i < 47; ++i) {
        everyRow.push_back(i);
    }
    const AreaCase cases[] = {
        {"no file", nullptr, {}},
        {"no Config section", "[Portal]\r\nArea=111\r\n", {}},
        {"empty value", "[Config]\r\nArea=\r\n", {}},
        {"only Hokkaido", "[Config]\r\nArea=1\r\n", {0}},
        {"every row", all.c_str(), everyRow},
        {"short value with Tokyo", tokyoOnly.c_str(), {12}},
        {"other characters", "[Config]\r\nArea=2a1 Y1-01\r\n", {2, 5, 8}},
        {"extra characters ignored", longValue.c_str(), {0, 46}},
        {"full-width one is not a one",
         "[Config]\r\nArea=\xEF\xBC\x91"
         "1\r\n",
         {3}},
    };
    for (const AreaCase& c : cases) {
        TempDir folder;
        const fs::path ini = folder.path() / "golf.ini";
        if (c.iniBytes) {
            WriteFileBytes(ini, c.iniBytes);
        }
        EXPECT_EQ(LoadSelectedRows(ini), c.rows) << c.name;
    }
}

TEST(AreaValue, AlwaysFortySevenCharacters) {
    EXPECT_EQ(AreaValue({}), Repeat('0', 47));
    std::vector<bool> ticked(47, false);
    ticked[12] = true;
    EXPECT_EQ(AreaValue(ticked), Repeat('0', 12) + "1" + Repeat('0', 34));
    EXPECT_EQ(AreaValue(std::vector<bool>(47, true)), Repeat('1', 47));
    EXPECT_EQ(AreaValue(std::vector<bool>(60, true)), Repeat('1', 47));
    EXPECT_EQ(AreaValue({true, false, true}), "101" + Repeat('0', 44));
}

TEST(AreaValue, SavedSelectionLoadsBack) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Portal]\nListingHost=x\n");
    std::vector<bool> ticked(47, false);
    ticked[1] = ticked[13] = ticked[40] = ticked[46] = true;
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", AreaValue(ticked)), "");
    EXPECT_EQ(LoadSelectedRows(ini), (std::vector<int>{1, 13, 40, 46}));
    EXPECT_EQ(LoadPortalSettings(ini).listingHost, "x");
}

}  // namespace
}  // namespace teebasket
