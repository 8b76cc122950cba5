#pragma once

// A property that failed is a finding like a crash: libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quorvane::fuzz {

inline void check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property failed: %s\n", property);
    std::abort();
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, surrogates or values beyond
// U+10FFFF.
inline bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        if (length == 0 || at + length > text.size()) return false;
        unsigned code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace quorvane::fuzz
