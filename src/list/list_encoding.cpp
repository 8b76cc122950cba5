#include "list/list_encoding.h"

#include <algorithm>
#include <cstdint>

#include "platform/gbk_text.h"

namespace quorvane {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

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
        repaired += length == 0 ? kReplacement : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return repaired;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

ListEncoding listEncodingOf(std::string_view listBytes) {
    if (listBytes.starts_with(kUtf8Mark)) return ListEncoding::markedUtf8;
    const bool multiByte = std::any_of(listBytes.begin(), listBytes.end(),
                                       [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
    return multiByte && isValidUtf8(listBytes) ? ListEncoding::unmarkedUtf8 : ListEncoding::gbk;
}

std::string listTextToUtf8(ListEncoding encoding, std::string_view bytes) {
    return encoding == ListEncoding::gbk ? platform::gbkToUtf8(bytes) : repairedUtf8(bytes);
}

}  // namespace quorvane
