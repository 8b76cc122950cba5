#pragma once

// The download list's text encoding, decided once for the whole list: UTF-8 when it begins with a
// byte-order mark, or when it is valid UTF-8 and holds at least one multi-byte character (many
// editors save UTF-8 without the mark, and GBK text with Chinese in it is practically never valid
// UTF-8); GBK otherwise. A list in plain ASCII reads the same either way and counts as GBK.

#include <string>
#include <string_view>

namespace quorvane {

enum class ListEncoding { gbk, markedUtf8, unmarkedUtf8 };

ListEncoding listEncodingOf(std::string_view listBytes);

// Bytes of the list (an item or part of one) as UTF-8 text to show: malformed or undecodable
// sequences become U+FFFD.
std::string listTextToUtf8(ListEncoding encoding, std::string_view bytes);

// Whether the text is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

}  // namespace quorvane
