#include "download/download_start.h"

#include <algorithm>
#include <cstdint>

#include "app/context.h"
#include "app/startup.h"
#include "download/completion.h"
#include "download/progress.h"
#include "list/file_operations.h"
#include "list/list_presentation.h"
#include "list/sha256_section.h"
#include "list/text_edit.h"
#include "list/torrent_section.h"
#include "platform/file_system.h"

namespace quorvane {

namespace {

// The downloader's engine-wide values, the same before every start; what the engine makes of
// each is told in engine_downloader.h.
constexpr std::int32_t kWriteBatchUnits = 20480;    // 16-byte units a connection gathers per write
constexpr std::int32_t kUnusedEngineValue = 5000;   // recorded, unused
constexpr std::int32_t kTriesPerPiece = 10;         // tries of a piece before the file fails
constexpr std::int32_t kReceiveBufferUnits = 5000;  // a connection's receive buffer, 16-byte units
// How StopDownload stops: every mode stops the same way and removes what was fetched.
constexpr std::int32_t kStopMode = 2;

void setRunningStates(Controls& ui) {
    ui.setDisabled(Control::超级按钮_接收, true);
    ui.setDisabled(Control::超级按钮_取消, false);
    ui.setDisabled(Control::组合框1, true);
    ui.setDisabled(Control::编辑框2, true);
    ui.setDisabled(Control::超级按钮_打开已下载文件, true);
}

void setEndedStates(Controls& ui) {
    ui.setDisabled(Control::超级按钮_接收, false);
    ui.setDisabled(Control::超级按钮_取消, true);
    ui.setDisabled(Control::组合框1, false);
    ui.setDisabled(Control::超级按钮_打开已下载文件, false);
    ui.setText(Control::下载进度透明标签, "");
    ui.setPosition(0);
}

void writeTransferSettings(Context& c, const std::string& source, const std::string& target) {
    TransferSettings& s = c.g.transferSettings;
    s.field1 = 4096;  // smallest piece, in 64-byte units (256 KiB)
    s.sourceAddress = source;
    s.field11 = 1000;  // first pause between tries of a piece, ms
    s.connectionCount = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(integerValue(c.ui.text(Control::编辑框2)), 1, 10));
    s.targetPath = target;
    // Connect time-out, low-speed window, longest pause between tries: ms.
    s.field8 = s.field9 = s.field10 = 20000;
    // What the list says of this file: its SHA-256 and the torrent that lets players help.
    s.field16 = listedSha256(c, source);
    s.field19 = listedTorrent(c, source);
    s.eventCallback = [&c](const DownloadEvent& event) { return onDownloadEvent(c, event); };
}

void onSizeKnown(Context& c, std::int64_t totalSize, std::int64_t room) {
    c.g.currentFileSize = totalSize;
    // The downloader measures the room before it reserves the file's space; measured here, the
    // reservation would already be taken off. Otherwise: the volume that will hold the file, not
    // whichever drive happens to be current.
    const auto freeBytes =
        room >= 0 ? std::optional(room) : c.system.freeSpaceBytes(c.g.downloadFolder);
    if (!freeBytes || *freeBytes - totalSize > 0) return;

    stopRunningTransfer(c);
    c.ui.messageBox("磁盘可用空间不足，暂时无法下载文件，请清理磁盘后再试！", "磁盘可用空间不足",
                    kInformation);
}

// A transfer that failed is not a finished one: the rest of the queue is dropped and the user is
// told why, instead of being congratulated.
void onTransferFailed(Context& c, const DownloadEvent& event) {
    clearQueues(c);
    c.ui.setDisabled(Control::超级按钮_取消, true);
    c.ui.setText(Control::解压哪个文件透明标签, "");
    std::string text = "文件下载失败，请稍候再试！";
    if (!event.reason.empty()) text += "\r\n\r\n失败原因：" + event.reason;
    c.ui.messageBox(text, "下载失败", kInformation);
}

void onTransferEnded(Context& c, const DownloadEvent& event) {
    const bool failed = !c.g.downloadAborted && event.outcome != DownloadOutcome::completed;
    if (c.g.downloadAborted || failed) {
        deleteIfExists(c.system, platform::pathFromUtf8(c.g.transferSettings.targetPath));
    }
    if (failed) {
        onTransferFailed(c, event);
    } else {
        finishQueueItem(c, c.g.transferSettings.sourceAddress);
    }
    showFileCount(c);
    c.ui.setTrayIcon(c.g.trayTip);
    setEndedStates(c.ui);
    applyEntrySettings(c);
    c.g.downloadRunning = false;
}

}  // namespace

void onMultiFileTimerTick(Context& c) {
    if (!c.g.queueBuilding) startNextDownload(c);
}

void startNextDownload(Context& c) {
    if (c.g.downloadRunning) return;
    const auto& sources = c.g.queueSources;
    if (sources.size() != c.g.queueTargets.size() || sources.empty()) return;

    const auto next = std::find_if(sources.begin(), sources.end(),
                                   [](const std::string& s) { return !s.empty(); });
    if (next == sources.end()) {
        clearQueues(c);
        return;
    }
    const auto index = static_cast<std::size_t>(next - sources.begin());
    const std::string source(trimBlanks(sources[index]));
    const std::string target = platform::utf8FromPath(c.g.queueTargets[index]);

    c.g.currentFileSize = 0;
    setRunningStates(c.ui);
    c.g.downloadAborted = false;
    c.downloader.ConfigureEngineA(kWriteBatchUnits, kUnusedEngineValue, kTriesPerPiece);
    c.downloader.ConfigureEngineB(kReceiveBufferUnits);
    writeTransferSettings(c, source, target);
    c.downloader.StartDownload(c.g.transferSettings);
    c.g.downloadRunning = true;
}

int onDownloadEvent(Context& c, const DownloadEvent& event) {
    if (event.code == kSizeKnown) onSizeKnown(c, event.totalSize, event.room);
    if (event.code == kTransferEnded) onTransferEnded(c, event);
    return 0;
}

void stopRunningTransfer(Context& c) {
    c.g.downloadAborted = true;
    c.g.transferSettingsBytes = c.g.transferSettings;
    c.downloader.StopDownload(c.g.transferSettingsBytes, kStopMode);
    clearQueues(c);
    c.ui.setText(Control::解压哪个文件透明标签, "");
}

}  // namespace quorvane
