#include "platform/windows_file_win32.h"

namespace quorvane::platform {

std::optional<std::string> readToEnd(HANDLE file, std::size_t most) {
    std::string bytes;
    char buffer[16 * 1024];
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) return bytes;
        if (bytes.size() + got > most) return std::nullopt;
        bytes.append(buffer, got);
    }
}

}  // namespace quorvane::platform
