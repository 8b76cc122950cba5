// Every address the protection accepts reveals again to itself; any stored list reveals to
// something or nothing without failing.

#include <cstdint>
#include <string_view>

#include "app/protected_address.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto keys = quorvane::programProtectionKeys();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto stored = quorvane::protectAddress(bytes, keys);
    if (!stored.empty()) {
        quorvane::fuzz::check(stored.size() <= quorvane::kLongestByteList,
                              "a stored list is within what reveal reads");
        quorvane::fuzz::check(quorvane::revealAddress(stored, keys) == bytes,
                              "a protected address reveals to itself");
    }
    (void)quorvane::revealAddress(bytes, keys);
    return 0;
}
