#include "list/list_reader.h"

#include <cstdint>
#include <limits>
#include <string_view>

#include "list/list_address.h"
#include "platform/gbk_text.h"
#include "platform/ini_file.h"

namespace quorvane {

namespace {

// Length of the well-formed UTF-8 sequence at the start of text, 0 when there is none.
std::size_t utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// UTF-8 text with every malformed byte replaced by U+FFFD, as the GBK decoder does.
std::string repairedUtf8(std::string_view text) {
    std::string repaired;
    repaired.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        repaired += length == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return repaired;
}

}  // namespace

ListReader::ListReader() = default;
ListReader::~ListReader() = default;

const platform::IniDocument& ListReader::document(const std::filesystem::path& listFile) {
    if (!document_ || loadedPath_ != listFile) {
        document_ = std::make_unique<platform::IniDocument>(platform::IniDocument::load(listFile));
        loadedPath_ = listFile;
    }
    return *document_;
}

std::string ListReader::value(const std::filesystem::path& listFile, std::string_view section,
                              std::string_view key) {
    std::lock_guard lock(mutex_);
    const platform::IniDocument& list = document(listFile);
    const std::string bytes = list.value(section, key);
    return list.markedUtf8() ? repairedUtf8(bytes) : platform::gbkToUtf8(bytes);
}

std::string ListReader::address(const std::filesystem::path& listFile, std::string_view section,
                                std::string_view key) {
    std::lock_guard lock(mutex_);
    return addressFromListBytes(document(listFile).value(section, key));
}

std::string ListReader::shown(const std::filesystem::path& listFile, std::string_view bytes) {
    std::lock_guard lock(mutex_);
    return document(listFile).markedUtf8() ? repairedUtf8(bytes) : platform::gbkToUtf8(bytes);
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
