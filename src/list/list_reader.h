#pragma once

// Reads single items of the saved download list, as text for the window. The file is parsed once
// and kept; it never changes after it has been saved. Safe to use from the list worker and the
// window's thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "list/list_encoding.h"

namespace quorvane {

namespace platform {
class IniDocument;
}

// Counts and entry numbers come from the network: no list offers more than this.
inline constexpr std::int64_t kMaxListEntries = 1000;
// The largest list file the program reads; a larger one reads as empty.
inline constexpr std::size_t kLargestListFile = 1 << 20;

class ListReader {
  public:
    ListReader();
    ~ListReader();

    // The item as text to show: decoded to UTF-8 from the list's encoding (list_encoding.h).
    // Empty when the file, section or key is absent.
    std::string value(const std::filesystem::path& listFile, std::string_view section,
                      std::string_view key);
    // The item as an address: the list's own bytes, percent-encoded where a URL needs it.
    std::string address(const std::filesystem::path& listFile, std::string_view section,
                        std::string_view key);
    // Bytes in the list's encoding (part of an item) as text to show.
    std::string shown(const std::filesystem::path& listFile, std::string_view bytes);

  private:
    const platform::IniDocument& document(const std::filesystem::path& listFile);

    std::mutex mutex_;
    std::filesystem::path loadedPath_;
    std::unique_ptr<platform::IniDocument> document_;
    ListEncoding encoding_ = ListEncoding::gbk;
};

// The integer a list or edit-box text stands for: optional blanks and sign, then the leading
// decimal digits; anything else gives 0. Saturates instead of overflowing.
std::int64_t integerValue(std::string_view text);

}  // namespace quorvane
