// Whatever name and address a list holds, the local file name is one plain, visible file name
// inside the download folder, within the file system's length limit.

#include <cstdint>
#include <string>
#include <string_view>

#include "download/local_name.h"
#include "fuzz_check.h"

namespace {

void checkName(const std::optional<std::string>& name) {
    using quorvane::fuzz::check;
    if (!name) return;
    check(!name->empty(), "a name is never empty");
    check(*name != "." && *name != "..", "not . or ..");
    check(name->find_first_of(std::string_view("/\\\0", 3)) == std::string::npos,
          "no separator or NUL");
    check(name->front() != '.', "no leading dot");
    check(quorvane::fileNameUnits(*name) <= quorvane::kLongestFileName, "within the length limit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkName(quorvane::safeFileName(bytes));
    // The way the program composes it: chooser text, then an address, split at the first newline.
    const auto newline = bytes.find('\n');
    if (newline == std::string_view::npos) return 0;
    const auto stem = quorvane::displayStem(bytes.substr(0, newline));
    const auto server = quorvane::serverFileName(bytes.substr(newline + 1));
    checkName(quorvane::safeFileName(quorvane::localFileName(stem, server)));
    return 0;
}
