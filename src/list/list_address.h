#pragma once

// A list's "Add" values hold the server's own bytes: file names on Chinese servers are GBK. They
// travel to the server as those bytes, percent-encoded, and are turned into text only where a
// name is shown or saved.

#include <string>
#include <string_view>

namespace quorvane {

// The list's bytes as an address a URL parser takes unchanged: every byte outside the
// characters a URL may hold (non-ASCII bytes, blanks, controls, "<>\"\\^`{|}") becomes %XX;
// "%" is left alone, so an address the list already encoded stays as it is.
std::string addressFromListBytes(std::string_view bytes);

// Every well-formed %XX replaced by its byte; anything else kept.
std::string percentDecoded(std::string_view text);

}  // namespace quorvane
