#include "platform/gbk_text.h"

#include <iconv.h>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <type_traits>

namespace quorvane::platform {

namespace {

struct IconvCloser {
    void operator()(std::remove_pointer_t<iconv_t>* descriptor) const { iconv_close(descriptor); }
};
using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvCloser>;

IconvHandle openConverter(const char* to, const char* from) {
    const iconv_t descriptor = iconv_open(to, from);
    if (descriptor == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return IconvHandle(descriptor);
}

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// Bytes to step over for one UTF-8 character that GBK cannot hold, or for one malformed
// sequence: the lead byte and the continuation bytes that follow it, up to the sequence length.
std::size_t utf8SkipLength(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest.front());
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    std::size_t skip = 1;
    while (skip < length && skip < rest.size() &&
           (static_cast<unsigned char>(rest[skip]) & 0xC0) == 0x80) {
        ++skip;
    }
    return skip;
}

// Converts as much as iconv accepts, calling onInvalid at each sequence it rejects; onInvalid
// returns how many input bytes to step over and appends its stand-in to the output.
template <typename OnInvalid>
std::string convert(iconv_t descriptor, std::string_view input, OnInvalid onInvalid) {
    std::string output;
    char buffer[4096];
    while (!input.empty()) {
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(descriptor, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        input.remove_prefix(input.size() - inLeft);
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
        const std::size_t skip = std::min(onInvalid(input, output), input.size());
        input.remove_prefix(skip);
        iconv(descriptor, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    }
    return output;
}

}  // namespace

std::string gbkToUtf8(std::string_view gbk) {
    const IconvHandle converter = openConverter("UTF-8", "GBK");
    if (!converter) return std::string(gbk);
    return convert(converter.get(), gbk, [](std::string_view, std::string& output) {
        output += kReplacementUtf8;
        return std::size_t{1};
    });
}

std::string utf8ToGbk(std::string_view utf8) {
    const IconvHandle converter = openConverter("GBK", "UTF-8");
    if (!converter) return std::string(utf8);
    return convert(converter.get(), utf8, [](std::string_view rest, std::string& output) {
        output += '?';
        return utf8SkipLength(rest);
    });
}

}  // namespace quorvane::platform
