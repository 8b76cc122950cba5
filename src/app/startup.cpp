#include "app/startup.h"

#include "app/context.h"
#include "app/protected_address.h"
#include "list/file_operations.h"

namespace quorvane {

void initGlobals(Context& c) {
    TransferSettings& s = c.g.transferSettings;
    s = TransferSettings{};
    s.field1 = 1;
    s.ftpUser = "anonymous";
    s.ftpPassword = "quorvane@user.net";
    s.connectionCount = 1;
    s.field7 = 0;
    s.field8 = 20000;
    s.field9 = 20000;
    s.field10 = 20000;
    s.field11 = 1000;
    s.field12 = 20480;
    s.field13 = 1024;
    s.field17 = 1;
    s.fileTypes = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
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
