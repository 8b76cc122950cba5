#include "engine/part_name.h"

#include <string>

namespace quorvane::engine {
namespace {

using NativeString = std::filesystem::path::string_type;

// How much of the text fits within limit units without splitting a character: a UTF-8 sequence
// on POSIX, a surrogate pair on Windows.
std::size_t wholeCharactersWithin(const NativeString& text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t cut = limit;
    if constexpr (sizeof(NativeString::value_type) == 1) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    } else {
        const auto unit = static_cast<unsigned>(text[cut]);
        if (cut > 0 && unit >= 0xDC00 && unit <= 0xDFFF) --cut;
    }
    return cut;
}

}  // namespace

std::size_t fileNameLength(const std::filesystem::path& name) {
    return name.native().size();
}

std::filesystem::path hiddenFileName(const std::filesystem::path& targetName,
                                     std::string_view suffix) {
    const NativeString dot = std::filesystem::path(".").native();
    const NativeString tail = std::filesystem::path(std::string(suffix)).native();
    const NativeString& name = targetName.native();
    const std::size_t room = kLongestFileName > dot.size() + tail.size()
                                 ? kLongestFileName - dot.size() - tail.size()
                                 : 0;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about operator+ on strings.
    NativeString result = dot;
    result.append(name, 0, wholeCharactersWithin(name, room));
    result.append(tail);
    return std::filesystem::path(result);
}

std::filesystem::path partFileName(const std::filesystem::path& targetName, std::string_view tag) {
    std::string suffix = ".";
    suffix.append(tag).append(".part");
    return hiddenFileName(targetName, suffix);
}

}  // namespace quorvane::engine
