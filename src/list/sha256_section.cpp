#include "list/sha256_section.h"

#include "app/context.h"
#include "list/list_address.h"
#include "list/text_edit.h"

namespace quorvane {

std::string listedSha256(Context& c, std::string_view source) {
    const std::string_view address = trimBlanks(source);
    const auto slash = address.rfind('/');
    if (slash == std::string_view::npos || slash + 1 == address.size()) return {};
    // The list names the file by its own bytes; the address carries them percent-encoded.
    const std::string serverName = percentDecoded(address.substr(slash + 1));
    return std::string(trimBlanks(c.list.value(c.g.listFilePath, "Sha256", serverName)));
}

}  // namespace quorvane
