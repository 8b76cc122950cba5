// What the file system layer does only on POSIX systems: a write cut short by the file size
// limit.

#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "temp_folder.h"

namespace quorvane::platform {
namespace {

namespace fs = std::filesystem;
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

}  // namespace
}  // namespace quorvane::platform
