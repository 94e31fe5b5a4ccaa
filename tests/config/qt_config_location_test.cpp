// The window finds golf.ini through Qt; the command line through DataFolder.
// Both must name the same folder, or the two would keep different selections.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStandardPaths>

#include <filesystem>

#include "HarvestConfig.h"
#include "ScopedEnv.h"
#include "TestSupport.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using teebasket::test::TempDir;
using teebasket::testing::ScopedEnv;

fs::path QtAppConfigLocation() {
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QStringLiteral("teebasket"));
    return fs::path(
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString());
}

TEST(DataFolderMatchesQt, WithXdgConfigHomeSet) {
    TempDir folder;
    ScopedEnv xdg("XDG_CONFIG_HOME", (folder.path() / "xdg").c_str());
    EXPECT_EQ(DataFolder(folder.path() / "not-there"), QtAppConfigLocation());
}

TEST(DataFolderMatchesQt, WithoutXdgConfigHome) {
    TempDir folder;
    ScopedEnv home("HOME", (folder.path() / "home").c_str());
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(DataFolder(folder.path() / "not-there"), QtAppConfigLocation());
    }
}

}  // namespace
}  // namespace teebasket
