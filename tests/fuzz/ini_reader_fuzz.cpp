// The INI reader takes a list from any server: whatever the bytes, it answers, and what it
// answers is a value that stood in the bytes.

#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto document = quorvane::platform::IniDocument::parse(bytes);
    for (const char* key : {"Down", "Name1", "Add1", "Thread1", "a"}) {
        const auto value = document.value("Down", key);
        quorvane::fuzz::check(value.size() <= bytes.size(), "a value is no longer than the file");
        quorvane::fuzz::check(bytes.find(value) != std::string_view::npos,
                              "a value is taken from the file");
        (void)document.value("Add", key);
        (void)document.value("", key);
    }
    return 0;
}
