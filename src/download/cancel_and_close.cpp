#include "download/cancel_and_close.h"

#include <string>

#include "app/context.h"
#include "download/download_start.h"

namespace quorvane {

namespace {

std::string cancelQuestion(Controls& ui) {
    std::string progress = ui.text(Control::下载进度透明标签);
    return (progress.empty() ? std::string("正在下载中") : progress) + "，要取消下载吗？";
}

}  // namespace

void onCancelClicked(Context& c) {
    if (c.ui.isDisabled(Control::超级按钮_取消)) return;
    const auto answer = c.ui.messageBox(cancelQuestion(c.ui), "是否取消下载", kYesNoQuestion);
    if (answer == MessageBoxAnswer::yes && !c.g.queueSources.empty()) stopRunningTransfer(c);
}

bool onCloseRequest(Context& c) {
    const bool downloading =
        c.ui.isDisabled(Control::超级按钮_接收) && !c.ui.isDisabled(Control::超级按钮_取消);
    if (downloading) {
        const auto answer = c.ui.messageBox(cancelQuestion(c.ui), "正在下载文件", kYesNoQuestion);
        if (answer != MessageBoxAnswer::yes) return false;
        if (!c.g.queueSources.empty()) stopRunningTransfer(c);
    }
    c.ui.removeTrayIcon();
    // The list worker may still be writing the list file: it is told to stop now, and the file
    // is deleted once the worker has ended.
    c.requestStop();
    return true;
}

void onTrayEvent(Context& c, TrayEvent kind) {
    if (kind != TrayEvent::click) return;
    c.ui.showWindow();
    c.ui.setWindowState(WindowState::normal);
}

}  // namespace quorvane
