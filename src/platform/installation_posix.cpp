#include "platform/installation.h"

#include "platform/file_system.h"

namespace quorvane::platform {

bool isInstalledProgram(const std::filesystem::path& programFolder) {
    return fileExists(programFolder / std::filesystem::path(kInstalledMarkerName));
}

}  // namespace quorvane::platform
