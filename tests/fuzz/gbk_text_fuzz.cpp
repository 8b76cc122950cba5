// GBK from a server always becomes well-formed UTF-8, and back again without failing.

#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/gbk_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto utf8 = quorvane::platform::gbkToUtf8(bytes);
    quorvane::fuzz::check(quorvane::fuzz::isUtf8(utf8), "GBK becomes well-formed UTF-8");
    const auto gbk = quorvane::platform::utf8ToGbk(utf8);
    quorvane::fuzz::check(gbk.size() <= utf8.size() * 2, "GBK is at most two bytes a character");
    (void)quorvane::platform::utf8ToGbk(bytes);  // any bytes, also not UTF-8
    return 0;
}
