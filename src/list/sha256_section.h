#pragma once

// The list's optional section "Sha256": the SHA-256 of the files it offers, keyed by the server's
// file name (the text after the last "/" of the address), so that both parts of a two-part
// archive can be named:
//
//   [Sha256]
//   client.part1.rar=9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08
//   client.part2.rar=...
//
// Letter case of the hex digits does not matter. Lists without the section work as before, and
// programs that do not know it ignore it.

#include <string>
#include <string_view>

namespace quorvane {

struct Context;

// The list's value for the file of this source address, as written (possibly malformed); empty
// when the list gives none.
std::string listedSha256(Context& c, std::string_view source);

}  // namespace quorvane
