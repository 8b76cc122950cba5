#include "small_disk.h"

#include <cstdlib>
#include <random>
#include <system_error>

namespace quorvane::testing {

SmallDisk::SmallDisk() {
    const char* drive = std::getenv("QUORVANE_TEST_SMALL_DRIVE");
    if (drive == nullptr || *drive == '\0') {
        whyNot_ = "Wine has no small volume unless tools/test.sh --windows maps one as root";
        return;
    }
    std::error_code error;
    path_ = std::filesystem::path(drive) / ("disk-full-" + std::to_string(std::random_device{}()));
    if (!std::filesystem::create_directory(path_, error)) {
        whyNot_ = "cannot create a folder on " + std::string(drive);
        path_.clear();
    }
}

SmallDisk::~SmallDisk() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
}

}  // namespace quorvane::testing
