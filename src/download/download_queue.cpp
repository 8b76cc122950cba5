#include "download/download_queue.h"

#include <algorithm>

#include "app/context.h"
#include "download/completion.h"
#include "download/local_name.h"
#include "list/file_operations.h"
#include "list/list_address.h"
#include "list/text_edit.h"
#include "platform/file_system.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPartOne = ".part1.";
constexpr std::string_view kPartTwo = ".part2.";

void queueArchiveParts(Context& c, const std::string& address, const std::string& localName) {
    const auto target = [&](const std::string& name) {
        return c.g.downloadFolder / platform::pathFromUtf8(name);
    };
    if (containsIgnoringCase(localName, kPartOne)) {
        appendQueuePair(c, address, target(localName));
        appendQueuePair(c, replaceAllIgnoringCase(address, kPartOne, kPartTwo),
                        target(replaceAllIgnoringCase(localName, kPartOne, kPartTwo)));
    } else {
        appendQueuePair(c, replaceAllIgnoringCase(address, kPartTwo, kPartOne),
                        target(replaceAllIgnoringCase(localName, kPartTwo, kPartOne)));
        appendQueuePair(c, address, target(localName));
    }
}

}  // namespace

void composeDownloadQueue(Context& c) {
    if (c.ui.isDisabled(Control::超级按钮_接收)) return;
    prepareDownloadFolder(c);

    // Trimmed here so that the source the downloader reports back matches the queued one.
    const std::string address(trimBlanks(c.ui.text(Control::编辑框A1)));
    const std::string_view serverName = serverFileName(address);
    if (serverName.empty() || !hasDownloadableScheme(address)) return;

    // The server's name as the list holds it, turned into text only for the local name.
    const std::string shownServerName = c.list.shown(c.g.listFilePath, percentDecoded(serverName));
    const auto localName =
        safeFileName(localFileName(displayStem(c.ui.text(Control::组合框1)), shownServerName));
    if (!localName) return;

    c.g.queueBuilding = true;
    if (containsIgnoringCase(*localName, kPartOne) || containsIgnoringCase(*localName, kPartTwo)) {
        queueArchiveParts(c, address, *localName);
    } else {
        appendQueuePair(c, address, c.g.downloadFolder / platform::pathFromUtf8(*localName));
    }
    prepareTargets(c);
    c.g.queueBuilding = false;
}

bool appendQueuePair(Context& c, const std::string& source, const fs::path& target) {
    auto& sources = c.g.queueSources;
    auto& targets = c.g.queueTargets;
    if (source.empty() || target.empty()) return false;
    if (sources.size() != targets.size()) return false;
    if (std::find(sources.begin(), sources.end(), source) != sources.end()) return false;
    sources.push_back(source);
    targets.push_back(target);
    return true;
}

}  // namespace quorvane
