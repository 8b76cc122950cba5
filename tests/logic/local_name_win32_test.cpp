// Names from the list made safe, then written on the real Windows file system: each must become
// exactly one ordinary file of that name in the download folder, never a device or another name.

#include <gtest/gtest.h>

#include <filesystem>

#include "download/local_name.h"
#include "platform/file_system.h"
#include "support/fresh_folder.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(platform::utf8FromPath(entry.path().filename()));
    }
    return names;
}

TEST(SafeFileNameOnWindows, EveryHostileNameBecomesOneOrdinaryFile) {
    const fs::path folder = test::createFreshFolder("quorvane-names-");
    for (const char* hostile :
         {"CON", "con.rar", "NUL.txt", "aux .zip", "Com1.part1.rar", "LPT9", "PRN.", "客户端. . ",
          "a<b>c:d\"e|f?g*h.rar", "..\\..\\evil.exe", "sub/dir.rar", "trailing.rar  "}) {
        const auto safe = safeFileName(hostile);
        ASSERT_TRUE(safe) << hostile;
        const fs::path file = folder / platform::pathFromUtf8(*safe);
        ASSERT_TRUE(platform::writeNewFile(file, hostile)) << hostile << " as " << *safe;
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{*safe}) << hostile;
        EXPECT_EQ(platform::readWholeFile(file, 100), std::string(hostile)) << hostile;
        ASSERT_TRUE(platform::deleteFile(file)) << *safe;
    }
    fs::remove(folder);
}

}  // namespace
}  // namespace quorvane
