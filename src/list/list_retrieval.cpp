#include "list/list_retrieval.h"

#include <algorithm>
#include <array>
#include <string>

#include "app/context.h"
#include "app/protected_address.h"
#include "list/file_operations.h"
#include "list/list_presentation.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kListMarker = "[Down]";

std::string sourceStatus(int source) {
    return "正在读取文件列表，请稍候！(" + std::to_string(source) + ")";
}

void disableChoices(Controls& ui) {
    ui.setDisabled(Control::组合框1, true);
    ui.setDisabled(Control::超级按钮_接收, true);
    ui.setDisabled(Control::超级按钮_取消, true);
    ui.setDisabled(Control::超级按钮_打开已下载文件, true);
}

std::array<std::string, 3> revealSources(const Globals& g) {
    const ProtectionKeys keys{g.innerPassword, g.innerAlgorithm, g.outerPassword, g.outerAlgorithm,
                              g.byteListSeparator};
    return {revealAddress(g.protectedSource1, keys), revealAddress(g.protectedSource2, keys),
            revealAddress(g.protectedSource3, keys)};
}

// The first body that carries the list marker, or empty when no source gives one.
std::string fetchFromSources(Context& c, const std::array<std::string, 3>& addresses) {
    for (int source = 1; source <= 3 && !c.stopRequested; ++source) {
        c.ui.setText(Control::透明标签1, sourceStatus(source));
        std::string body = c.system.httpRead(addresses[source - 1], c.stopRequested);
        if (body.find(kListMarker) != std::string::npos) return body;
    }
    return {};
}

// The program's own folder in the user's cache, made when missing; empty when there is none.
fs::path programCacheFolder(System& system) {
    const fs::path cache = system.userCacheFolder();
    if (cache.empty()) return {};
    const fs::path own = cache / kCacheFolderName;
    if (!system.folderExists(own)) system.createFolder(own);
    return system.folderExists(own) ? own : fs::path();
}

// Beside the program in "nRes", else beside the program; for a program the user cannot write to,
// in the user's cache folder, else in the temporary folder.
fs::path saveList(Context& c, const std::string& body) {
    const fs::path programFolder = c.system.programFolder();
    const auto writeIn = [&](const fs::path& folder) {
        return folder.empty() ? fs::path() : writeUnderRandomName(c.system, folder, ".ini", body);
    };
    for (const fs::path& folder : {programFolder / "nRes", programFolder}) {
        if (fs::path written = writeIn(folder); !written.empty()) return written;
    }
    if (fs::path written = writeIn(programCacheFolder(c.system)); !written.empty()) return written;
    return writeIn(c.system.userTempFolder());
}

enum class PassResult { ended, retry };

PassResult runPass(Context& c) {
    disableChoices(c.ui);
    const std::string body = fetchFromSources(c, revealSources(c.g));
    if (body.empty() || c.stopRequested) return PassResult::retry;

    c.g.listFilePath = saveList(c, body);
    if (c.g.listFilePath.empty()) return PassResult::ended;  // nowhere to keep it

    const std::string down = c.list.value(c.g.listFilePath, "Down", "Down");
    if (down == "False") {
        c.ui.setText(Control::透明标签1, "Quorvane下载器目前暂停使用，请稍候再试！");
        return PassResult::ended;
    }
    if (down != "True") {
        deleteIfExists(c.system, c.g.listFilePath);
        return PassResult::retry;
    }
    c.ui.setText(Control::透明标签1, "请选择要下载的文件：");
    c.ui.setDisabled(Control::组合框1, false);
    fillFileChooser(c);
    return PassResult::ended;
}

}  // namespace

void retrieveList(Context& c) {
    auto pause = c.retryPauses.first;
    while (!c.stopRequested) {
        if (runPass(c) == PassResult::ended) return;
        // Servers that answer nothing usable are asked again, but not in a tight loop.
        if (!c.pauseUnlessStopped(pause)) return;
        pause = std::min(pause * 2, c.retryPauses.longest);
    }
}

}  // namespace quorvane
