#pragma once

// How a list entry's address and display name become local file names.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// The text after the last "/" (the whole address when it has none).
std::string_view serverFileName(std::string_view address);

// Only http, https and ftp addresses are fetched.
bool hasDownloadableScheme(std::string_view address);

// The chooser's text without the network line's tags.
std::string displayStem(std::string_view chosenText);

// The display stem followed by the server file name from its first "." on.
std::string localFileName(std::string_view displayStem, std::string_view serverName);

// The longest file name the file systems in use accept, in the units fileNameUnits counts.
inline constexpr std::size_t kLongestFileName = 255;

// How long a UTF-8 name is where the program runs: UTF-16 units on Windows, bytes elsewhere.
std::size_t fileNameUnits(std::string_view utf8Name);

// The longest local name made from a list entry: it leaves room for the three "最新" prefixes
// that prepareTargets may put before it when an old file cannot be replaced.
std::size_t longestLocalName();

// The name made safe as one plain file name inside the download folder on every platform:
// no separators, "..", leading dots (hidden files), control or bidirectional-override
// characters, characters Windows forbids, trailing dots or blanks, or reserved device names; and
// shortened by whole characters to longestLocalName(), keeping its extension. nullopt when nothing
// usable is left. Takes time in proportion to the name's length, however hostile.
std::optional<std::string> safeFileName(std::string_view name);

}  // namespace quorvane
