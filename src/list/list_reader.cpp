#include "list/list_reader.h"

#include <limits>

#include "list/list_address.h"
#include "list/list_encoding.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace quorvane {

ListReader::ListReader() = default;
ListReader::~ListReader() = default;

const platform::IniDocument& ListReader::document(const std::filesystem::path& listFile) {
    if (!document_ || loadedPath_ != listFile) {
        // The encoding is the whole text's: one item alone may look like either.
        const auto bytes = platform::readWholeFile(listFile, kLargestListFile);
        document_ = std::make_unique<platform::IniDocument>(
            platform::IniDocument::parse(bytes ? *bytes : std::string()));
        encoding_ = listEncodingOf(bytes ? *bytes : std::string());
        loadedPath_ = listFile;
    }
    return *document_;
}

std::string ListReader::value(const std::filesystem::path& listFile, std::string_view section,
                              std::string_view key) {
    std::lock_guard lock(mutex_);
    const std::string bytes = document(listFile).value(section, key);
    return listTextToUtf8(encoding_, bytes);
}

std::string ListReader::address(const std::filesystem::path& listFile, std::string_view section,
                                std::string_view key) {
    std::lock_guard lock(mutex_);
    return addressFromListBytes(document(listFile).value(section, key));
}

std::string ListReader::shown(const std::filesystem::path& listFile, std::string_view bytes) {
    std::lock_guard lock(mutex_);
    document(listFile);
    return listTextToUtf8(encoding_, bytes);
}

std::int64_t integerValue(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';

    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const int digit = text[at] - '0';
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace quorvane
