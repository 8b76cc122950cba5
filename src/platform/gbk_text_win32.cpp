#include "platform/gbk_text.h"

#include "platform/windows_path_win32.h"

namespace quorvane::platform {

namespace {

constexpr UINT kGbk = 936;
constexpr std::wstring_view kReplacement = L"\uFFFD";

// Converts GBK with MB_ERR_INVALID_CHARS; false when the text holds an invalid sequence.
bool convertStrictly(std::string_view gbk, std::wstring& wide) {
    const int size = static_cast<int>(gbk.size());
    const int length =
        MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), size, nullptr, 0);
    if (length <= 0) return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), size, wide.data(), length) ==
           length;
}

// One character at a time: a valid one- or two-byte character, or U+FFFD for one bad byte, as
// the conversion on the other platforms does.
std::wstring convertLeniently(std::string_view gbk) {
    std::wstring wide;
    std::wstring one;
    for (std::size_t at = 0; at < gbk.size();) {
        const auto lead = static_cast<unsigned char>(gbk[at]);
        const std::size_t length = IsDBCSLeadByteEx(kGbk, lead) && at + 1 < gbk.size() ? 2 : 1;
        if (convertStrictly(gbk.substr(at, length), one)) {
            wide += one;
            at += length;
        } else {
            wide += kReplacement;
            at += 1;
        }
    }
    return wide;
}

}  // namespace

std::string gbkToUtf8(std::string_view gbk) {
    if (gbk.empty()) return {};
    std::wstring wide;
    if (!convertStrictly(gbk, wide)) wide = convertLeniently(gbk);
    return utf8FromWide(wide);
}

std::string utf8ToGbk(std::string_view utf8) {
    std::wstring wide = wideFromUtf8(utf8);  // malformed UTF-8 arrives as U+FFFD
    // GBK holds no character outside the first plane: a surrogate pair becomes one '?'.
    for (std::size_t at = 0; at + 1 < wide.size(); ++at) {
        if (IS_HIGH_SURROGATE(wide[at]) && IS_LOW_SURROGATE(wide[at + 1]))
            wide.replace(at, 2, L"?");
    }
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    // No best fit: a character GBK lacks becomes '?', never a look-alike.
    const int length = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                           0, "?", nullptr);
    std::string gbk(static_cast<std::size_t>(std::max(length, 0)), '\0');
    WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), size, gbk.data(), length, "?",
                        nullptr);
    return gbk;
}

}  // namespace quorvane::platform
