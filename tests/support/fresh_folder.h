#pragma once

// Creates a folder with a new random name under the system's temporary folder; throws when none
// can be made. Plain C++, so the same on every platform.

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace quorvane::test {

inline std::filesystem::path createFreshFolder(const std::string& prefix) {
    std::random_device device;
    const auto temp = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto folder = temp / (prefix + std::to_string(device()));
        std::error_code error;
        if (std::filesystem::create_directory(folder, error)) return folder;
    }
    throw std::runtime_error("cannot create a scratch folder under " + temp.string());
}

}  // namespace quorvane::test
