#include "list/list_address.h"

#include <cstdint>
#include <optional>

namespace quorvane {

namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

bool travelsUnchanged(std::uint8_t byte) {
    if (byte <= 0x20 || byte >= 0x7F) return false;
    return std::string_view(R"("<>\^`{|})").find(static_cast<char>(byte)) == std::string_view::npos;
}

std::optional<int> hexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return std::nullopt;
}

}  // namespace

std::string addressFromListBytes(std::string_view bytes) {
    std::string address;
    address.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto byte = static_cast<std::uint8_t>(ch);
        if (travelsUnchanged(byte)) {
            address += ch;
        } else {
            address += '%';
            address += kHexDigits[byte >> 4];
            address += kHexDigits[byte & 0x0F];
        }
    }
    return address;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool escape = text[at] == '%' && at + 2 < text.size();
        const auto high = escape ? hexValue(text[at + 1]) : std::nullopt;
        const auto low = escape ? hexValue(text[at + 2]) : std::nullopt;
        if (high && low) {
            decoded += static_cast<char>(*high * 16 + *low);
            at += 2;
        } else {
            decoded += text[at];
        }
    }
    return decoded;
}

}  // namespace quorvane
