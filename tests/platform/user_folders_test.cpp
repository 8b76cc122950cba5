#include "platform/user_folders.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "scoped_environment.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnvironment;
using test::TempFolder;

TEST(UserTempFolder, FollowsTmpdirOnlyWhenItIsAFolder) {
    TempFolder folder;
    {
        ScopedEnvironment tmpdir("TMPDIR", folder.path().string());
        EXPECT_EQ(userTempFolder(), folder.path());
    }
    for (const std::optional<std::string>& value :
         {std::optional<std::string>((folder / "missing").string()),
          std::optional<std::string>("relative"), std::optional<std::string>()}) {
        ScopedEnvironment tmpdir("TMPDIR", value);
        EXPECT_EQ(userTempFolder(), fs::path("/tmp")) << value.value_or("(unset)");
    }
}

TEST(UserDownloadsFolder, UsesTheConfiguredFolderAndCreatesIt) {
    TempFolder home;
    ScopedEnvironment homeVariable("HOME", home.path().string());
    ScopedEnvironment config("XDG_CONFIG_HOME", std::nullopt);
    fs::create_directory(home / ".config");
    std::ofstream(home / ".config" / "user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
           "XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\n";

    EXPECT_EQ(userDownloadsFolder(), home / "Téléchargements");
    EXPECT_TRUE(folderExists(home / "Téléchargements"));
}

TEST(UserDownloadsFolder, FallsBackToDownloadsInHome) {
    TempFolder home;
    ScopedEnvironment homeVariable("HOME", home.path().string());
    ScopedEnvironment config("XDG_CONFIG_HOME", (home / "no-config").string());

    EXPECT_EQ(userDownloadsFolder(), home / "Downloads");
    EXPECT_TRUE(folderExists(home / "Downloads"));
}

TEST(UserCacheFolder, FollowsXdgCacheHomeElseDotCacheAndIsTheUsersAlone) {
    TempFolder home;
    ScopedEnvironment homeVariable("HOME", home.path().string());
    {
        ScopedEnvironment cache("XDG_CACHE_HOME", (home / "elsewhere").string());
        EXPECT_EQ(userCacheFolder(), home / "elsewhere");
    }
    ScopedEnvironment cache("XDG_CACHE_HOME", "relative/is/ignored");
    EXPECT_EQ(userCacheFolder(), home / ".cache");
    EXPECT_EQ(fs::status(home / ".cache").permissions() & fs::perms::all, fs::perms::owner_all);
}

}  // namespace
}  // namespace quorvane::platform
