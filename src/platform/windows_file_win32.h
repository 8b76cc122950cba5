#pragma once

// Reading an open Win32 file whole, for the platform layer and the engine alike: each opens the
// file its own way (the engine never through a link), the bounded read is the same.

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

namespace quorvane::platform {

// The rest of `file` from its current position; nothing when reading fails or the rest is longer
// than `most` bytes. The handle stays open.
std::optional<std::string> readToEnd(HANDLE file, std::size_t most);

}  // namespace quorvane::platform
