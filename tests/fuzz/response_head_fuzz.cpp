// Response heads from any server: the parser takes only what its grammar allows, and every range
// it accepts is a range inside the file it describes.

#include <cstdint>
#include <string_view>

#include "engine/response_head.h"
#include "fuzz_check.h"

namespace {

using quorvane::fuzz::check;
namespace engine = quorvane::engine;

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto count = engine::parseByteCount(bytes)) {
        check(allDigits(bytes) && *count >= 0, "a byte count is digits only");
    }
    if (auto status = engine::parseStatusLine(bytes)) {
        check(*status >= 100 && *status <= 999, "a status has three digits");
    }
    if (auto range = engine::parseContentRange(bytes)) {
        check(range->first >= 0 && range->first <= range->last, "a range runs forwards");
        check(range->total == -1 || range->last < range->total, "a range lies inside the file");
    }
    engine::ResponseHead head;
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        head.addLine(bytes.substr(0, end));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    const engine::RequestedRange asked{true, 100, 199};
    const auto verdict = engine::checkResponse(head, asked, std::nullopt);
    if (verdict == engine::Verdict::accept) {
        check(head.status == 206 && head.contentRange && head.contentRange->first == 100,
              "an accepted range answer starts where asked");
        check(!head.encoded, "an encoded body is never accepted");
    }
    (void)engine::checkResponse(head, engine::RequestedRange{}, engine::identityOf(head));
    return 0;
}
