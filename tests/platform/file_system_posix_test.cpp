// What the file system layer does only on POSIX systems: environment-chosen folders and a
// write cut short by the file size limit.

#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "scoped_environment.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnvironment;
using test::TempFolder;

bool isEmptyFolder(const fs::path& folder) {
    return fs::is_empty(folder);
}

// A file size limit makes the write fail part way, as a full disk would.
TEST(WriteNewFile, RemovesTheFileWhenTheWriteFails) {
    TempFolder folder;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    const bool written = writeNewFile(folder / "big.bin", std::string(64 * 1024, 'x'));

    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_TRUE(isEmptyFolder(folder.path()));
}

TEST(UserTempFolder, FollowsTmpdirOnlyWhenItIsAFolder) {
    TempFolder folder;
    {
        ScopedEnvironment tmpdir("TMPDIR", folder.path().string());
        EXPECT_EQ(userTempFolder(), folder.path());
    }
    {
        ScopedEnvironment tmpdir("TMPDIR", (folder / "missing").string());
        EXPECT_EQ(userTempFolder(), fs::path("/tmp"));
    }
    ScopedEnvironment tmpdir("TMPDIR", std::nullopt);
    EXPECT_EQ(userTempFolder(), fs::path("/tmp"));
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

}  // namespace
}  // namespace quorvane::platform
