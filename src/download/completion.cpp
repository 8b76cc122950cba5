#include "download/completion.h"

#include <algorithm>

#include "app/context.h"
#include "list/file_operations.h"
#include "list/text_edit.h"
#include "platform/file_system.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr int kRenamingPasses = 3;
constexpr std::string_view kHintLead = "下载完成后，";

// True when every target path is free. Anything at a target's name that is not a file that
// could be deleted (a folder, say) keeps it taken: the finished download could not be put there.
bool freeTargets(Context& c) {
    bool allFree = true;
    for (const fs::path& target : c.g.queueTargets) {
        if (c.system.somethingExists(target) && !deleteIfExists(c.system, target)) allFree = false;
    }
    return allFree;
}

void prefixTargetNames(Context& c) {
    for (fs::path& target : c.g.queueTargets) {
        target.replace_filename(platform::pathFromUtf8("最新") += target.filename());
    }
}

}  // namespace

bool prepareTargets(Context& c) {
    bool allFree = freeTargets(c);
    for (int pass = 0; pass < kRenamingPasses && !allFree; ++pass) {
        prefixTargetNames(c);
        allFree = freeTargets(c);
    }
    c.ui.setText(Control::解压哪个文件透明标签, "");
    if (!allFree || c.g.queueTargets.empty()) return false;

    const std::string firstName = platform::utf8FromPath(c.g.queueTargets.front().filename());
    c.ui.setText(Control::解压哪个文件透明标签,
                 std::string(kHintLead) + "请解压缩这个文件：" + firstName);
    return true;
}

void finishQueueItem(Context& c, const std::string& source) {
    const std::string_view finished = trimBlanks(source);
    auto& sources = c.g.queueSources;
    if (finished.empty()) return;
    if (sources.size() != c.g.queueTargets.size() || sources.empty()) return;

    const auto match = std::find_if(sources.begin(), sources.end(), [&](const std::string& s) {
        return trimBlanks(s) == finished;
    });
    if (match != sources.end()) {
        const auto index = static_cast<std::size_t>(match - sources.begin());
        sources[index].clear();
        c.g.queueTargets[index].clear();
    }
    if (std::any_of(sources.begin(), sources.end(), [](const auto& s) { return !s.empty(); })) {
        return;
    }

    c.g.queueSources.clear();
    c.g.queueTargets.clear();
    c.ui.setDisabled(Control::超级按钮_取消, true);
    std::string hint = c.ui.text(Control::解压哪个文件透明标签);
    removeAll(hint, kHintLead);
    c.ui.setText(Control::解压哪个文件透明标签, hint);

    const auto answer = c.ui.messageBox("下载已完成，要打开保存文件的文件夹吗？\r\n\r\n" + hint,
                                        "下载已完成", kYesNoQuestion);
    if (answer == MessageBoxAnswer::yes) c.system.openFolder(c.g.downloadFolder);
}

void openDownloadFolder(Context& c) {
    if (c.ui.isDisabled(Control::超级按钮_打开已下载文件)) return;
    c.system.openFolder(c.g.downloadFolder);
}

}  // namespace quorvane
