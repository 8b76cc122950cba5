#include "engine/part_name.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "engine/sha256.h"

namespace quorvane::engine {
namespace {

using NativeString = std::filesystem::path::string_type;

// 64 bits of the name's SHA-256: no list, however hostile, finds a second name that shares a
// long name's hidden files.
constexpr std::size_t kDigestLength = 16;

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

NativeString nativeOf(const std::string& ascii) {
    return std::filesystem::path(ascii).native();
}

// The digest is of the name's UTF-8, so that it is the same on every platform.
NativeString digestOf(const std::filesystem::path& name) {
    const std::u8string text = name.u8string();
    const std::string digest =
        Sha256::hexOf(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    std::string tail = "~";
    tail.append(digest, 0, kDigestLength);
    return nativeOf(tail);
}

std::string taggedSuffix(std::string_view tag, std::string_view kind) {
    std::string suffix = ".";
    suffix.append(tag).append(kind);
    return suffix;
}

bool isHexDigit(NativeString::value_type c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string randomTag() {
    std::random_device device;
    char tag[kTagLength + 1];
    std::snprintf(tag, sizeof tag, "%08x%08x", device(), device());
    return tag;
}

std::size_t fileNameLength(const std::filesystem::path& name) {
    return name.native().size();
}

std::filesystem::path hiddenFileName(const std::filesystem::path& targetName,
                                     std::string_view suffix) {
    const NativeString dot = nativeOf(".");
    const NativeString tail = nativeOf(std::string(suffix));
    const NativeString& name = targetName.native();
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about operator+ on strings.
    NativeString result = dot;
    if (dot.size() + name.size() + tail.size() <= kLongestFileName) {
        result.append(name);
    } else {
        const NativeString digest = digestOf(targetName);
        const std::size_t fixed = dot.size() + digest.size() + tail.size();
        const std::size_t room = kLongestFileName > fixed ? kLongestFileName - fixed : 0;
        result.append(name, 0, wholeCharactersWithin(name, room));
        result.append(digest);
    }
    result.append(tail);
    return std::filesystem::path(result);
}

std::filesystem::path partFileName(const std::filesystem::path& targetName, std::string_view tag) {
    return hiddenFileName(targetName, taggedSuffix(tag, ".part"));
}

std::filesystem::path stagingFileName(const std::filesystem::path& targetName,
                                      std::string_view tag) {
    return hiddenFileName(targetName, taggedSuffix(tag, ".pnew"));
}

bool isStagingFileName(const std::filesystem::path& name, const std::filesystem::path& targetName) {
    // Every tag of the same length gives the same name around it.
    const NativeString model = stagingFileName(targetName, std::string(kTagLength, '0')).native();
    const NativeString& candidate = name.native();
    const std::size_t tagAt = model.size() - kTagLength - 5;  // before ".pnew"
    if (candidate.size() != model.size() || candidate.compare(0, tagAt, model, 0, tagAt) != 0 ||
        candidate.compare(tagAt + kTagLength, NativeString::npos, model, tagAt + kTagLength) != 0) {
        return false;
    }
    return std::all_of(candidate.begin() + static_cast<std::ptrdiff_t>(tagAt),
                       candidate.begin() + static_cast<std::ptrdiff_t>(tagAt + kTagLength),
                       isHexDigit);
}

}  // namespace quorvane::engine
