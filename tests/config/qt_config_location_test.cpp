// The window finds golf.ini through Qt; the command line through DataFolder.
// Both must name the same folder, or the two would keep different selections.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStandardPaths>

#include <filesystem>

#include "ConfigTestFolder.h"
#include "HarvestConfig.h"

namespace teebasket {
namespace {

namespace fs = std::filesystem;
using testing::ConfigTestFolder;
using testing::ScopedEnv;

fs::path QtAppConfigLocation() {
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QStringLiteral("teebasket"));
    return fs::path(
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString());
}

TEST(DataFolderMatchesQt, WithXdgConfigHomeSet) {
    ConfigTestFolder folder;
    ScopedEnv xdg("XDG_CONFIG_HOME", (folder / "xdg").c_str());
    EXPECT_EQ(DataFolder(folder / "not-there"), QtAppConfigLocation());
}

TEST(DataFolderMatchesQt, WithoutXdgConfigHome) {
    ConfigTestFolder folder;
    ScopedEnv home("HOME", (folder / "home").c_str());
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(DataFolder(folder / "not-there"), QtAppConfigLocation());
    }
}

}  // namespace
}  // namespace teebasket
