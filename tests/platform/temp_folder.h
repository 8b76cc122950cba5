#pragma once

// A fresh folder under the system's temporary folder, removed with everything in it at the end.

#include <filesystem>
#include <string>
#include <system_error>

#include "support/fresh_folder.h"

namespace quorvane::test {

class TempFolder {
  public:
    TempFolder() : path_(createFreshFolder("quorvane-test-")) {}
    ~TempFolder() {
        std::error_code error;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, error);
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace quorvane::test
