#include "list/list_reader.h"

#include <limits>

#include "platform/gbk_text.h"
#include "platform/ini_file.h"

namespace quorvane {

ListReader::ListReader() = default;
ListReader::~ListReader() = default;

std::string ListReader::value(const std::filesystem::path& listFile, std::string_view section,
                              std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!document_ || loadedPath_ != listFile) {
        document_ = std::make_unique<platform::IniDocument>(platform::IniDocument::load(listFile));
        loadedPath_ = listFile;
    }
    return platform::gbkToUtf8(document_->value(section, key));
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
