#include "app/startup.h"

#include "app/context.h"
#include "app/protected_address.h"
#include "list/file_operations.h"

namespace quorvane {

void initGlobals(Context& c) {
    TransferSettings& s = c.g.transferSettings;
    s = TransferSettings{};
    // What each field means to the downloader is told in engine_downloader.h; the start of
    // each file sets its own smallest piece, connections and pauses (download_start.cpp).
    s.field1 = 1;  // smallest piece, 64-byte units
    // The FTP login.
    s.ftpUser = "anonymous";
    s.ftpPassword = "quorvane@user.net";
    s.connectionCount = 1;
    s.field7 = 0;       // recorded, unused
    s.field8 = 20000;   // connect time-out, ms
    s.field9 = 20000;   // low-speed window, ms: slower than field13 this long is stalled
    s.field10 = 20000;  // longest pause between tries of a piece, ms
    s.field11 = 1000;   // first pause between tries, ms; doubles up to field10
    s.field12 = 20480;  // largest single range request, KiB
    s.field13 = 1024;   // low-speed limit, bytes per second
    s.field17 = 1;      // recorded, unused
    s.fileTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";  // recorded, unused
    c.g.queueSources.clear();
    c.g.queueTargets.clear();
}

void prepareStartUp(Context& c) {
    const ProtectionKeys keys = programProtectionKeys();
    c.g.innerPassword = keys.innerPassword;
    c.g.innerAlgorithm = keys.innerAlgorithm;
    c.g.outerPassword = keys.outerPassword;
    c.g.outerAlgorithm = keys.outerAlgorithm;
    c.g.byteListSeparator = keys.byteListSeparator;
    const auto stored = programProtectedSources();
    c.g.protectedSource1 = std::string(stored[0]);
    c.g.protectedSource2 = std::string(stored[1]);
    c.g.protectedSource3 = std::string(stored[2]);

    prepareDownloadFolder(c);
    c.g.downloadAborted = false;
    c.g.downloadRunning = false;
    c.g.queueBuilding = false;
    clearQueues(c);
    c.g.trayTip = "单击打开Quorvane下载器";
    c.ui.setTrayIcon(c.g.trayTip);
}

void clearQueues(Context& c) {
    c.g.queueSources.clear();
    c.g.queueTargets.clear();
}

}  // namespace quorvane
