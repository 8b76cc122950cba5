#include "platform/open_folder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "scoped_environment.h"
#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;

// A stand-in for the desktop's opener that records the folder it was asked to show.
void installRecordingOpener(const fs::path& binFolder) {
    const fs::path opener = binFolder / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\ndir=${0%/*}\n"
                             "printf '%s' \"$1\" > \"$dir/opened.tmp\" && "
                             "exec /bin/mv \"$dir/opened.tmp\" \"$dir/opened\"\n";
    fs::permissions(opener, fs::perms::owner_all);
}

std::string waitForFile(const fs::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream stream(file);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

TEST(OpenFolder, StartsTheOpenerWithTheAbsoluteFolderAndLeavesNoChild) {
    test::TempFolder bin;
    test::TempFolder downloads;
    installRecordingOpener(bin.path());
    test::ScopedEnvironment path("PATH", bin.path().string());
    const fs::path folder = downloads / "下载的文件";
    fs::create_directory(folder);

    ASSERT_TRUE(openFolder(folder));

    EXPECT_EQ(waitForFile(bin / "opened"), folder.string());
    // The helper child has been reaped and the opener belongs to init: nothing left to wait for.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(OpenFolder, RefusesWithoutOpenerOrFolder) {
    test::TempFolder bin;
    test::TempFolder downloads;
    {
        test::ScopedEnvironment path("PATH", bin.path().string());
        EXPECT_FALSE(openFolder(downloads.path()));
    }
    installRecordingOpener(bin.path());
    test::ScopedEnvironment path("PATH", bin.path().string());
    EXPECT_FALSE(openFolder(downloads / "missing"));
    EXPECT_FALSE(fs::exists(bin / "opened"));
}

}  // namespace
}  // namespace quorvane::platform
