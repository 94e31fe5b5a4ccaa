// ProfileFile against real files: what the Windows profile functions would
// read, and writes that change nothing but the one key.
#include "ProfileFile.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// <windows.h> names the system's own profile function WriteProfileString.
#undef WriteProfileString
#else
#include <sys/stat.h>
#endif

#include <filesystem>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "path_text.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using teebasket::test::ListFolder;
using teebasket::test::ReadFileBytes;
using teebasket::test::TempDir;
using teebasket::test::WriteFileBytes;

std::string Read(const fs::path& file, const std::string& section, const std::string& key) {
    return ReadProfileString(file, section, key, "<default>");
}

// ---------------------------------------------------------------------------
// Reading

TEST(ReadProfileString, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    EXPECT_EQ(Read(ini, "Config", "Area"), "<default>");

    WriteFileBytes(ini, "[Other]\r\nArea=1\r\n");
    EXPECT_EQ(Read(ini, "Config", "Area"), "<default>");

    WriteFileBytes(ini, "[Config]\r\nAreas=1\r\nArea\r\n");
    EXPECT_EQ(Read(ini, "Config", "Area"), "<default>");

    // A present key with an empty value is empty, not the default.
    WriteFileBytes(ini, "[Config]\r\nArea=\r\n");
    EXPECT_EQ(Read(ini, "Config", "Area"), "");

    // A folder in place of the file reads as a missing file.
    EXPECT_EQ(Read(folder.path(), "Config", "Area"), "<default>");
}

TEST(ReadProfileString, NamesIgnoreCaseAndBlanksAroundNamesAndValuesAreDropped) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "  [ cOnFiG ]  ; comment\r\n\t AREA \t=  0101 \t\r\n");
    EXPECT_EQ(Read(ini, "Config", "Area"), "0101");
    EXPECT_EQ(Read(ini, "CONFIG", "area"), "0101");
}

TEST(ReadProfileString, MatchingQuotesAroundTheValueAreDropped) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[P]\nA=\"/path with blanks/c.pem\"\nB='x'\nC=\"half\nD=\"a\"b\n");
    EXPECT_EQ(Read(ini, "P", "A"), "/path with blanks/c.pem");
    EXPECT_EQ(Read(ini, "P", "B"), "x");
    EXPECT_EQ(Read(ini, "P", "C"), "\"half");
    EXPECT_EQ(Read(ini, "P", "D"), "\"a\"b");
}

TEST(ReadProfileString, TheFirstMatchingSectionAndKeyWin) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini,
                   "Area=outside\r\n"
                   "[Config]\r\n"
                   ";Area=commented\r\n"
                   "Area=first\r\n"
                   "area=second\r\n"
                   "[config]\r\n"
                   "Area=other section\r\n"
                   "Extra=only in the second\r\n");
    EXPECT_EQ(Read(ini, "Config", "Area"), "first");
    EXPECT_EQ(Read(ini, "Config", "Extra"), "<default>");
}

TEST(ReadProfileString, LineEndsByteOrderMarkAndMissingFinalNewline) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "\xEF\xBB\xBF[Config]\nArea=11\n[Portal]\r\nListingHost=h:1");
    EXPECT_EQ(Read(ini, "Config", "Area"), "11");
    EXPECT_EQ(Read(ini, "Portal", "ListingHost"), "h:1");
}

// ---------------------------------------------------------------------------
// Writing

TEST(WriteProfileString, CreatesAMissingFileWithWindowsLineEnds) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "0101"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=0101\r\n");
    EXPECT_EQ(Read(ini, "config", "AREA"), "0101");
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"golf.ini"});
}

TEST(WriteProfileString, ChangesOnlyTheKeysLine) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    const std::string before =
        "; written by hand\r\n"
        "[Portal]\r\n"
        "ListingHost = example.test:8443   \r\n"
        "\r\n"
        "[CONFIG]\r\n"
        "  area =  0000  \r\n"
        "Area=second\r\n"
        "Other=\xE6\x9D\xB1\xE4\xBA\xAC\r\n"
        "[Config]\n"
        "Area=later section\n";
    WriteFileBytes(ini, before);
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1111"), "");
    std::string expected = before;
    expected.replace(expected.find("  area =  0000  "), 16, "  area =  1111");
    EXPECT_EQ(ReadFileBytes(ini), expected);
    EXPECT_EQ(Read(ini, "Config", "Area"), "1111");
}

TEST(WriteProfileString, AddsAMissingKeyAfterTheSectionsLastLine) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Config]\r\nArea=1\r\n\r\n[Portal]\r\nListingHost=a\r\n");
    ASSERT_EQ(WriteProfileString(ini, "config", "Extra", "x"), "");
    EXPECT_EQ(ReadFileBytes(ini),
              "[Config]\r\nArea=1\r\nExtra=x\r\n\r\n[Portal]\r\nListingHost=a\r\n");
}

TEST(WriteProfileString, AddsAMissingSectionAtTheEndInTheFilesLineEnds) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Portal]\nListingHost=a\n");
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "01"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Portal]\nListingHost=a\n[Config]\nArea=01\n");
}

TEST(WriteProfileString, KeepsAFileWithoutFinalNewlineSo) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";

    WriteFileBytes(ini, "[Config]\r\nArea=0");
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1");

    ASSERT_EQ(WriteProfileString(ini, "Config", "Extra", "x"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1\r\nExtra=x");

    ASSERT_EQ(WriteProfileString(ini, "Portal", "ListingHost", "h"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1\r\nExtra=x\r\n[Portal]\r\nListingHost=h");
}

TEST(WriteProfileString, EmptyFileAndByteOrderMarkAreHandled) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "");
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1\r\n");

    WriteFileBytes(ini, "\xEF\xBB\xBF[Config]\nArea=0\n");
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    EXPECT_EQ(ReadFileBytes(ini), "\xEF\xBB\xBF[Config]\nArea=1\n");
}

#ifdef _WIN32
TEST(WriteProfileString, KeepsTheFilesAttributes) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Config]\r\nArea=0\r\n");
    ASSERT_TRUE(::SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_HIDDEN));

    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1\r\n");
    EXPECT_NE(::GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"golf.ini"}));
}
#else
TEST(WriteProfileString, KeepsPermissionsAndWritesThroughASymbolicLink) {
    TempDir folder;
    const fs::path real = folder.path() / "real.ini";
    const fs::path link = folder.path() / "golf.ini";
    WriteFileBytes(real, "[Config]\nArea=0\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink("real.ini", link);

    ASSERT_EQ(WriteProfileString(link, "Config", "Area", "1"), "");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "[Config]\nArea=1\n");
    struct stat status {};
    ASSERT_EQ(::stat(real.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"golf.ini", "real.ini"}));
}
#endif

// Japanese folder names are common on the users' machines; on Windows they
// only survive as wide paths.
TEST(WriteProfileString, AFolderNamedInJapaneseIsWrittenAndNamedInTheReason) {
    TempDir folder;
    const fs::path japanese = folder.path() / PathFromUtf8("ゴルフ場の設定");
    fs::create_directories(japanese);
    const fs::path ini = japanese / "golf.ini";

    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    ASSERT_EQ(WriteProfileString(ini, "Portal", "ListingHost", "h:1"), "");
    EXPECT_EQ(Read(ini, "Config", "Area"), "1");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=1\r\n[Portal]\r\nListingHost=h:1\r\n");
    EXPECT_EQ(ListFolder(japanese), (std::vector<std::string>{"golf.ini"}));

    const std::string reason =
        WriteProfileString(japanese / "missing" / "golf.ini", "Config", "Area", "1");
    EXPECT_NE(reason.find("ゴルフ場の設定"), std::string::npos) << reason;
    EXPECT_NE(reason.find("does not exist"), std::string::npos) << reason;
}

TEST(WriteProfileString, FailuresGiveAReasonAndLeaveEverythingAsItWas) {
    TempDir folder;
    const fs::path plainFile = folder.path() / "not-a-folder";
    WriteFileBytes(plainFile, "x");

    // The parent is a regular file (even root cannot write there).
    std::string reason = WriteProfileString(plainFile / "golf.ini", "Config", "Area", "1");
    EXPECT_NE(reason, "");
    EXPECT_NE(reason.find("not-a-folder"), std::string::npos) << reason;

    // The path is a folder.
    reason = WriteProfileString(folder.path(), "Config", "Area", "1");
    EXPECT_NE(reason.find("folder"), std::string::npos) << reason;

    // The folder does not exist.
    reason = WriteProfileString(folder.path() / "missing" / "golf.ini", "Config", "Area", "1");
    EXPECT_NE(reason.find("does not exist"), std::string::npos) << reason;

    // Names and values that would break the file's layout.
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Config]\r\nArea=0\r\n");
    EXPECT_NE(WriteProfileString(ini, "Config", "Area", "1\r\n[Evil]"), "");
    EXPECT_NE(WriteProfileString(ini, "Con]fig", "Area", "1"), "");
    EXPECT_NE(WriteProfileString(ini, "Config", "Ar=ea", "1"), "");
    EXPECT_NE(WriteProfileString(ini, "", "Area", "1"), "");
    EXPECT_NE(WriteProfileString(ini, "Config", " Area", "1"), "");
    EXPECT_EQ(ReadFileBytes(ini), "[Config]\r\nArea=0\r\n");

    EXPECT_EQ(ListFolder(folder.path()), (std::vector<std::string>{"golf.ini", "not-a-folder"}));
}

TEST(WriteProfileString, FailuresGiveTheSystemsErrorForTheFrontEndsToWord) {
    TempDir folder;
    std::error_code error = std::make_error_code(std::errc::io_error);
    EXPECT_EQ(WriteProfileString(folder.path() / "golf.ini", "Config", "Area", "1", &error), "");
    EXPECT_FALSE(error);

    WriteFileBytes(folder.path() / "not-a-folder", "x");
    EXPECT_NE(WriteProfileString(folder.path() / "not-a-folder" / "golf.ini", "Config", "Area", "1",
                                 &error),
              "");
#ifdef _WIN32
    // Windows answers a file used as a folder as a path that is not found.
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
#else
    EXPECT_EQ(error, std::errc::not_a_directory);
#endif
    EXPECT_NE(
        WriteProfileString(folder.path() / "missing" / "golf.ini", "Config", "Area", "1", &error),
        "");
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    fs::create_directories(folder.path() / "held.ini");
    EXPECT_NE(WriteProfileString(folder.path() / "held.ini", "Config", "Area", "1", &error), "");
    EXPECT_EQ(error, std::errc::is_a_directory);
}

TEST(ProfileFile, AHugeFileIsNotASettingsFile) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    WriteFileBytes(ini, "[Config]\nArea=1\n");
    fs::resize_file(ini, 17u * 1024u * 1024u);  // sparse: costs no disk space
    EXPECT_EQ(Read(ini, "Config", "Area"), "<default>");
    EXPECT_NE(WriteProfileString(ini, "Config", "Area", "0").find("too large"), std::string::npos);
    EXPECT_EQ(fs::file_size(ini), 17u * 1024u * 1024u);
}

TEST(WriteProfileString, SuccessiveWritesAccumulate) {
    TempDir folder;
    const fs::path ini = folder.path() / "golf.ini";
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "1"), "");
    ASSERT_EQ(WriteProfileString(ini, "Portal", "ListingHost", "a:1"), "");
    ASSERT_EQ(WriteProfileString(ini, "Portal", "BookingHost", "b:2"), "");
    ASSERT_EQ(WriteProfileString(ini, "Config", "Area", "0"), "");
    EXPECT_EQ(ReadFileBytes(ini),
              "[Config]\r\nArea=0\r\n[Portal]\r\nListingHost=a:1\r\nBookingHost=b:2\r\n");
}

}  // namespace
}  // namespace teebasket
