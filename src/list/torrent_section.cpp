#include "list/torrent_section.h"

#include "app/context.h"
#include "list/list_address.h"
#include "list/text_edit.h"

namespace quorvane {

std::string listedTorrent(Context& c, std::string_view source) {
    const std::string_view address = trimBlanks(source);
    const auto slash = address.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == address.size()) return {};
    const std::string serverName = percentDecoded(address.substr(slash + 1));
    std::string torrent = c.list.address(c.g.listFilePath, "Torrent", serverName);
    const std::string_view trimmed = trimBlanks(torrent);
    if (!trimmed.starts_with("http://") && !trimmed.starts_with("https://")) return {};
    return std::string(trimmed);
}

}  // namespace quorvane
