#include "platform/file_system.h"

namespace quorvane::platform {

namespace fs = std::filesystem;

fs::path pathFromUtf8(std::string_view utf8) {
    const std::u8string text(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
    return fs::path(text);
}

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = fs::path(path).make_preferred().u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace quorvane::platform
