// GBK from a server always becomes well-formed UTF-8, and back again without failing; so does a
// list in whatever encoding the program decides it is, and a list it reads as UTF-8 without a
// mark is shown byte for byte.

#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "list/list_encoding.h"
#include "platform/gbk_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto utf8 = quorvane::platform::gbkToUtf8(bytes);
    quorvane::fuzz::check(quorvane::fuzz::isUtf8(utf8), "GBK becomes well-formed UTF-8");
    const auto gbk = quorvane::platform::utf8ToGbk(utf8);
    quorvane::fuzz::check(gbk.size() <= utf8.size() * 2, "GBK is at most two bytes a character");
    (void)quorvane::platform::utf8ToGbk(bytes);  // any bytes, also not UTF-8

    const auto encoding = quorvane::listEncodingOf(bytes);
    const auto shown = quorvane::listTextToUtf8(encoding, bytes);
    quorvane::fuzz::check(quorvane::fuzz::isUtf8(shown), "a list is shown as well-formed UTF-8");
    if (encoding == quorvane::ListEncoding::unmarkedUtf8) {
        quorvane::fuzz::check(shown == bytes, "UTF-8 without a mark is shown as it stands");
    }
    return 0;
}
