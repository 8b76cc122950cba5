#include "download/peer_settings.h"

#include <charconv>
#include <optional>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/user_folders.h"

namespace quorvane {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kLargestLimitKiB = 1024 * 1024;  // 1 GiB/s

std::optional<std::int64_t> wholeNumber(const std::string& text, std::int64_t highest) {
    std::int64_t value = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > highest)
        return std::nullopt;
    return value;
}

}  // namespace

PeerOptions peerOptionsFrom(const std::vector<std::filesystem::path>& files) {
    PeerOptions options;
    bool enabledSaid = false, limitSaid = false, discoverySaid = false;
    for (const auto& file : files) {
        const auto ini = platform::IniDocument::load(file, 64 * 1024);
        if (!enabledSaid) {
            if (auto value = wholeNumber(ini.value("Peers", "Enabled"), 1)) {
                options.enabled = *value == 1;
                enabledSaid = true;
            }
        }
        if (!limitSaid) {
            if (auto value = wholeNumber(ini.value("Peers", "UploadLimitKiB"), kLargestLimitKiB)) {
                options.uploadLimit = *value * kKiB;
                limitSaid = true;
            }
        }
        if (!discoverySaid) {
            if (auto value = wholeNumber(ini.value("Peers", "LanDiscovery"), 1)) {
                options.localDiscovery = *value == 1;
                discoverySaid = true;
            }
        }
    }
    return options;
}

std::vector<std::filesystem::path> peerSettingsFiles() {
    std::vector<std::filesystem::path> files{platform::programFolder() / kPeerSettingsFileName};
    const auto config = platform::userConfigFolder();
    if (!config.empty()) files.push_back(config / "quorvane-downloader" / kPeerSettingsFileName);
    return files;
}

}  // namespace quorvane
