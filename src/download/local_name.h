#pragma once

// How a list entry's address and display name become local file names.

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

// The name made safe as one plain file name inside the download folder on every platform:
// no separators, "..", control or bidirectional-override characters, characters Windows
// forbids, trailing dots or blanks, or reserved device names. nullopt when nothing usable is left.
std::optional<std::string> safeFileName(std::string_view name);

}  // namespace quorvane
