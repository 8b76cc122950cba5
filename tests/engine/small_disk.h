#pragma once

// A folder on a volume of about 1 MiB, for downloads that fill the disk: a tmpfs that the test
// mounts on Linux (as root); under Wine a drive that tools/test.sh --windows maps onto such a
// tmpfs (QUORVANE_TEST_SMALL_DRIVE).

#include <filesystem>
#include <string>

#include "engine_test_support.h"

namespace quorvane::testing {

class SmallDisk {
  public:
    SmallDisk();
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Empty when the folder is ready, otherwise why there is none.
    const std::string& whyNot() const { return whyNot_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    ScratchFolder scratch_;
    std::filesystem::path path_;
    std::string whyNot_;
};

}  // namespace quorvane::testing
